#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/app_fixture.hpp"

namespace quorla::app {
namespace {

TEST_F(AppTest, OnlyAnApplicationNamedExactlyLikeTheClientStartsPolling) {
    launch();
    completeIdentity();
    for (const auto& name : std::vector<std::optional<std::string>>{
             "Zoom.us", "ZOOM.US", "zoom.us ", " zoom.us", "zoom", "zoom.us.app", "", std::nullopt})
        workspace.simulateLaunch(name);
    EXPECT_FALSE(delegate->isClientRunning());
    const auto& launched = platform::workspaceDidLaunchApplicationNotification;
    workspace.post({launched, {}});
    workspace.post({launched, {{platform::workspaceApplicationKey, std::string("zoom.us")}}});
    workspace.post({launched, {{"another key", platform::RunningApplication{9, "zoom.us"}}}});
    EXPECT_EQ(mainQueue.activeTimers(), 0u);

    workspace.simulateLaunch("zoom.us");
    EXPECT_TRUE(delegate->isClientRunning());
    workspace.simulateTerminate(workspace.running.front());  // another application quits
    EXPECT_EQ(mainQueue.activeTimers(), 1u);
}

TEST_F(AppTest, PollingGoesOnUntilTheLastInstanceOfTheClientQuits) {
    launch();
    completeIdentity();
    connectCentral();
    client.showMeeting({.isMicOn = true});
    const auto first = workspace.simulateLaunch("zoom.us");
    const auto second = workspace.simulateLaunch("zoom.us");
    mainQueue.advance(pollInterval);
    log.clear();
    workspace.simulateTerminate(first);  // still listed while its termination is delivered
    client.showMeeting({});
    mainQueue.advance(pollInterval);
    EXPECT_EQ(log.startingWith("update"), Log{"update E8"}) << "the meeting is still heard";
    log.clear();
    client = {};  // the client quits
    workspace.simulateTerminate(second);
    EXPECT_EQ(mainQueue.activeTimers(), 0u);
    EXPECT_EQ(log.startingWith("update"), Log{"update E0"});
}

TEST_F(AppTest, TheClientLaunchingDuringTheLookupStartsPollingAtOnceAndAgainAfterIt) {
    launch();
    log.clear();
    workspace.simulateLaunch("zoom.us");
    mainQueue.advance(platform::Seconds{1.0});
    completeIdentity();
    EXPECT_EQ(log.entries(),
              (Log{idleIcon, "timer every 3s", "console found userID: abc",
                   "defaults set quorla.iCloudUserID=abc", "peripheral manager created",
                   "workspace scan", "timer invalidated", idleIcon, "timer every 3s"}));
}

TEST_F(AppTest, APollSendsWhenAnyOneFlagChangedAndOnlyThen) {
    startPollingClient();
    connectCentral();
    const std::pair<fakes::MeetingState, Log> polls[] = {
        {{}, {"checkStatus ran", meetingIcon, "update E8"}},
        {{}, {"checkStatus ran"}},
        {{.isMicOn = true}, {"checkStatus ran", "update EA"}},
        {{.isCameraOn = true}, {"checkStatus ran", "update E9"}},
        {{.isCameraOn = true, .isActiveSpeakerView = true}, {"checkStatus ran", "update F9"}},
        {{.isCameraOn = true}, {"checkStatus ran", "update E9"}},
    };
    for (const auto& [state, expected] : polls) {
        log.clear();
        client.showMeeting(state);
        mainQueue.advance(pollInterval);
        EXPECT_EQ(log.entries(), expected);
    }
    log.clear();
    client = {};  // the client quits, and the workspace has not told yet
    mainQueue.advance(pollInterval);
    EXPECT_EQ(log.entries(), (Log{"checkStatus ran", idleIcon, "update E0"}));
}

TEST_F(AppTest, TheClientQuittingSendsConnectedClearedWithTheOtherFlagsAsLastPolledAndStops) {
    const auto zoom = startPollingClient();
    pollMeetingWithCentral({.isMicOn = true, .isCameraOn = true, .isActiveSpeakerView = true});
    ASSERT_EQ(log.startingWith("update"), Log{"update FB"}) << "every flag but the hand";
    log.clear();
    client = {};
    workspace.simulateTerminate(zoom);
    mainQueue.advance(platform::Seconds{30.0});
    EXPECT_EQ(log.entries(), (Log{"workspace scan", "timer invalidated", "update F3", idleIcon}));
}

TEST_F(AppTest, EachRequestIsAnsweredThenPolledAndForcesTheNextSend) {
    startPollingClient();
    pollMeetingWithCentral({});
    log.clear();
    const auto to = [this](const char* uuid) {
        return fakes::FakePeripheralManager::Write{peripheral->published(uuid),
                                                   platform::Bytes{'1'}};
    };
    peripheral->simulateWrites({to("9544CC4B-AE2B-4D23-9988-91F785B4EBE0")});  // microphone
    client.showMeeting({.isMicOn = true});  // the client took the shortcut before the poll
    mainQueue.advance(pollInterval);
    mainQueue.advance(pollInterval);
    EXPECT_EQ(log.entries(), (Log{"script ran", "respond #1", "checkStatus ran", "update EA",
                                  "checkStatus ran", "update EA", "checkStatus ran"}));
    log.clear();
    const auto view = to("51E0B506-C88A-414E-9603-DABC63EBB6BA");
    peripheral->simulateWrites({view, view, view});
    EXPECT_EQ(mainQueue.pendingWork(), 3u) << "polls wait for the answers";
    mainQueue.advance(pollInterval);
    EXPECT_EQ(log.startingWith("update").size(), 3u) << "the third forces one more";
}

}  // namespace
}  // namespace quorla::app

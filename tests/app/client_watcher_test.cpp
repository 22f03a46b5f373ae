#include <gtest/gtest.h>

#include <any>
#include <optional>
#include <string>
#include <vector>

#include "app/app_fixture.hpp"

namespace quorla::app {
namespace {

TEST_F(AppTest, OnlyAnApplicationNamedExactlyLikeTheClientCounts) {
    launch();
    completeIdentity();
    for (const auto& name : std::vector<std::optional<std::string>>{
             "Zoom.us", "ZOOM.US", "zoom.us ", " zoom.us", "zoom", "zoom.us.app", "", std::nullopt})
        workspace.simulateLaunch(name);
    EXPECT_FALSE(delegate->isClientRunning());

    // Malformed launch notifications are ignored as well.
    using platform::workspaceApplicationKey;
    const auto& launched = platform::workspaceDidLaunchApplicationNotification;
    workspace.post({launched, {}});
    workspace.post({launched, {{workspaceApplicationKey, std::string("zoom.us")}}});
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
    EXPECT_EQ(mainQueue.activeTimers(), 1u) << "a second launch restarts polling";
    mainQueue.advance(pollInterval);

    // The first instance is still listed while its termination is delivered.
    log.clear();
    workspace.simulateTerminate(first);
    client.showMeeting({.isMicOn = false});
    mainQueue.advance(pollInterval);
    EXPECT_EQ(sentValues(), Values{idleValue | connectedBit}) << "the meeting is still heard";

    log.clear();
    client = {};  // the client quits
    workspace.simulateTerminate(second);
    EXPECT_EQ(mainQueue.activeTimers(), 0u);
    EXPECT_EQ(sentValues(), Values{idleValue});
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

    // The restarted timer counts from the restart, not from the launch.
    log.clear();
    mainQueue.advance(platform::Seconds{2.5});
    EXPECT_EQ(log.entries(), Log{});
    mainQueue.advance(platform::Seconds{0.5});
    EXPECT_EQ(log.entries(), Log{"checkStatus ran"});
}

TEST_F(AppTest, TheClientQuittingDuringTheLookupLeavesPollingOff) {
    const auto zoom = clientAlreadyRunning();
    launch();
    client = {};  // the client quits
    workspace.simulateTerminate(zoom);
    EXPECT_EQ(log.entries().back(), idleIcon);
    completeIdentity();
    EXPECT_EQ(mainQueue.activeTimers(), 0u);
}

}  // namespace
}  // namespace quorla::app

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "app/app_fixture.hpp"

namespace quorla::app {
namespace {

TEST_F(AppTest, TheFirstPollComesOneIntervalAfterTheStartAndShowsTheMeeting) {
    startPollingClient();
    connectCentral();
    client.showMeeting({.isMicOn = true});
    mainQueue.advance(platform::Seconds{2.9});
    EXPECT_EQ(log.entries(), Log{});
    mainQueue.advance(platform::Seconds{0.1});
    EXPECT_EQ(log.entries(), (Log{"checkStatus ran", meetingIcon, "update EA"}));
}

TEST_F(AppTest, APollSendsWhenAnyOneFlagChangedAndOnlyThen) {
    startPollingClient();
    pollMeetingWithCentral({});
    const struct {
        const char* story;
        fakes::MeetingState state;
        Values sent;
    } polls[] = {
        {"nothing changed", {}, {}},
        {"microphone on", {.isMicOn = true}, {idleValue | connectedBit | micBit}},
        {"camera on instead", {.isCameraOn = true}, {idleValue | connectedBit | cameraBit}},
        {"camera unchanged", {.isCameraOn = true}, {}},
        {"active speaker too",
         {.isCameraOn = true, .isActiveSpeakerView = true},
         {idleValue | connectedBit | cameraBit | activeViewBit}},
        {"active speaker alone goes", {.isCameraOn = true}, {idleValue | connectedBit | cameraBit}},
    };
    for (const auto& poll : polls) {
        SCOPED_TRACE(poll.story);
        log.clear();
        client.showMeeting(poll.state);
        mainQueue.advance(pollInterval);
        EXPECT_EQ(sentValues(), poll.sent);
        EXPECT_EQ(log.startingWith("icon"), Log{}) << "the meeting goes on";
    }
    log.clear();
    client = {};  // the client quits
    mainQueue.advance(pollInterval);
    EXPECT_EQ(log.entries(), (Log{"checkStatus ran", idleIcon, "update E0"}));
}

TEST_F(AppTest, RestartingPollingLeavesOneTimerAndSendsTheConnectedFlagCleared) {
    startPollingClient();
    pollMeetingWithCentral({.isMicOn = true});
    log.clear();
    delegate->startPolling();
    EXPECT_EQ(mainQueue.activeTimers(), 1u);
    EXPECT_EQ(log.entries(), (Log{"timer invalidated", "update E2", idleIcon, "timer every 3s"}));

    // The first poll of the new timer finds the meeting against the cleared flag.
    log.clear();
    mainQueue.advance(pollInterval);
    EXPECT_EQ(log.entries(), (Log{"checkStatus ran", meetingIcon, "update EA"}));
}

TEST_F(AppTest, TheClientQuittingSendsConnectedClearedWithTheOtherFlagsAsLastPolledAndStops) {
    const auto zoom = startPollingClient();
    pollMeetingWithCentral({.isMicOn = true, .isCameraOn = true, .isActiveSpeakerView = true});
    ASSERT_EQ(sentValues(), Values{0xFB}) << "every flag but the hand";
    log.clear();
    client = {};  // the client quits
    workspace.simulateTerminate(zoom);
    EXPECT_EQ(log.entries(), (Log{"workspace scan", "timer invalidated", "update F3", idleIcon}));
    log.clear();
    mainQueue.advance(platform::Seconds{30.0});
    EXPECT_EQ(log.entries(), Log{});
}

TEST_F(AppTest, ARequestWhilePollingIsOffStillPollsAndForcesTheNextSend) {
    launch();
    completeIdentity();
    connectCentral();
    postRequest();
    EXPECT_EQ(mainQueue.drain(), 1);
    EXPECT_EQ(sentValues(), Values{}) << "the probe found nothing new";
    postRequest();
    mainQueue.drain();
    EXPECT_EQ(sentValues(), Values{idleValue}) << "forced by the request before";
}

// A companion connected while the client holds a meeting with the microphone muted.
class RequestRoadTest : public AppTest {
  protected:
    void SetUp() override {
        startPollingClient();
        pollMeetingWithCentral({});
        log.clear();
    }

    fakes::FakePeripheralManager::Write write(const char* uuid, std::uint8_t value) {
        return {peripheral->published(uuid), platform::Bytes{value}};
    }
    static constexpr auto mic = "9544CC4B-AE2B-4D23-9988-91F785B4EBE0";
    static constexpr auto camera = "416E2079-70BE-4BE1-8DF2-429652F50C67";
    static constexpr auto view = "51E0B506-C88A-414E-9603-DABC63EBB6BA";
};

TEST_F(RequestRoadTest, OneRequestIsCarriedOutAnsweredThenPolledAndSentTwice) {
    peripheral->simulateWrites({write(mic, '1')});
    EXPECT_EQ(log.entries(), (Log{"script ran", "respond #1"}));

    // The client has taken the shortcut by the time the queued poll runs.
    client.showMeeting({.isMicOn = true});
    log.clear();
    mainQueue.drain();
    EXPECT_EQ(log.entries(), (Log{"checkStatus ran", "update EA"}));
    log.clear();
    mainQueue.advance(pollInterval);
    EXPECT_EQ(log.entries(), (Log{"checkStatus ran", "update EA"})) << "sent again unchanged";
    log.clear();
    mainQueue.advance(pollInterval);
    EXPECT_EQ(log.entries(), Log{"checkStatus ran"});
}

TEST_F(RequestRoadTest, ABatchOfThreeGivesThreePollsOnceAnsweredAndTheLaterTwoSend) {
    peripheral->simulateWrites({write(mic, '1'), write(camera, '0'), write(view, '1')});
    EXPECT_EQ(log.startingWith("respond").size(), 3u);
    EXPECT_EQ(log.entries().back(), "respond #3") << "polls wait for the answers";
    log.clear();
    mainQueue.drain();
    EXPECT_EQ(log.entries(), (Log{"checkStatus ran", "checkStatus ran", "update E8",
                                  "checkStatus ran", "update E8"}));
    log.clear();
    mainQueue.advance(pollInterval);
    EXPECT_EQ(log.entries(), (Log{"checkStatus ran", "update E8"})) << "the third forces one more";
}

}  // namespace
}  // namespace quorla::app

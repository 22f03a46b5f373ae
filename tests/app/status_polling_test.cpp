#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "app/app_fixture.hpp"

namespace quorla::app {
namespace {

using Values = std::vector<std::uint8_t>;

TEST_F(AppTest, TheFirstPollComesOneIntervalAfterTheStartAndOnlyChangesAreSent) {
    startPollingClient();
    connectCentral();
    client.showMeeting({.isMicOn = true});

    mainQueue.advance(platform::Seconds{2.9});
    EXPECT_EQ(sentValues(), Values{});
    mainQueue.advance(platform::Seconds{0.1});
    EXPECT_EQ(sentValues(), Values{idleValue | connectedBit | micBit});
    EXPECT_EQ(statusBar.images.back(), meetingIcon);

    forgetSent();
    mainQueue.advance(pollInterval);
    EXPECT_EQ(sentValues(), Values{}) << "nothing changed";

    // Other flags change while the meeting goes on: sent, the icon left alone.
    const auto iconChanges = statusBar.images.size();
    client.showMeeting({.isMicOn = false, .isCameraOn = true});
    mainQueue.advance(pollInterval);
    EXPECT_EQ(sentValues(), Values{idleValue | connectedBit | cameraBit});
    EXPECT_EQ(statusBar.images.size(), iconChanges);
}

TEST_F(AppTest, RestartingPollingLeavesOneTimerAndSendsTheConnectedFlagCleared) {
    startPollingClient();
    pollMeetingWithCentral({.isMicOn = true});
    forgetSent();

    delegate->startPolling();

    EXPECT_EQ(mainQueue.activeTimers(), 1u);
    EXPECT_EQ(sentValues(), Values{idleValue | micBit});
    EXPECT_EQ(statusBar.images.back(), idleIcon);

    // The first poll of the new timer finds the meeting against the cleared flag.
    forgetSent();
    mainQueue.advance(pollInterval);
    EXPECT_EQ(sentValues(), Values{idleValue | connectedBit | micBit});
    EXPECT_EQ(statusBar.images.back(), meetingIcon);
}

TEST_F(AppTest, TheClientQuittingSendsConnectedClearedWithTheOtherFlagsAsLastPolled) {
    const auto zoom = startPollingClient();
    pollMeetingWithCentral({.isMicOn = true, .isCameraOn = true, .isActiveSpeakerView = true});
    forgetSent();

    client.quit();
    workspace.simulateTerminate(zoom);

    EXPECT_EQ(sentValues(), Values{idleValue | activeViewBit | micBit | cameraBit});
    EXPECT_EQ(statusBar.images.back(), idleIcon);
    EXPECT_EQ(mainQueue.activeTimers(), 0u);
    forgetSent();
    mainQueue.advance(platform::Seconds{30.0});
    EXPECT_EQ(sentValues(), Values{});
}

TEST_F(AppTest, ARequestWhilePollingIsOffStillPollsAndForcesTheNextSend) {
    launch();
    completeIdentity();
    connectCentral();
    ASSERT_EQ(mainQueue.activeTimers(), 0u);

    postRequest();
    EXPECT_EQ(mainQueue.drain(), 1);
    EXPECT_EQ(sentValues(), Values{}) << "the probe found nothing new";

    postRequest();
    mainQueue.drain();
    EXPECT_EQ(sentValues(), Values{idleValue}) << "forced by the request before";
}

TEST_F(AppTest, TheHandBitIsClearInEveryValueSent) {
    const auto zoom = startPollingClient();
    pollMeetingWithCentral({.isMicOn = true, .isCameraOn = true, .isActiveSpeakerView = true});
    postRequest();
    postRequest();
    mainQueue.drain();
    delegate->startPolling();
    mainQueue.advance(pollInterval);
    client.quit();
    workspace.simulateTerminate(zoom);

    const auto values = sentValues();
    ASSERT_GE(values.size(), 4u);
    for (auto value : values)
        EXPECT_EQ(value & handBit, 0) << std::hex << int(value);
    EXPECT_EQ(values.front(), 0xFB) << "every other flag on";
}

}  // namespace
}  // namespace quorla::app

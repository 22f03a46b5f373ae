#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/app_fixture.hpp"
#include "bluetooth/identifiers.hpp"
#include "bluetooth/write_request_handling.hpp"

namespace quorla::app {
namespace {

using Log = std::vector<std::string>;

std::string sent(std::uint8_t value) {
    return "update " + fakes::hex({value});
}

// A companion connected while the client holds a meeting with the microphone muted.
class RequestRoadTest : public AppTest {
  protected:
    void SetUp() override {
        startPollingClient();
        pollMeetingWithCentral({.isMicOn = false});
        ASSERT_EQ(sentValues(), std::vector<std::uint8_t>{idleValue | connectedBit});
        log.clear();
    }

    fakes::FakePeripheralManager::Write write(const platform::Uuid& uuid, std::string text) {
        return {published(uuid), platform::Bytes(text.begin(), text.end())};
    }
};

TEST_F(RequestRoadTest, OneRequestIsCarriedOutAnsweredThenPolledAndSentTwice) {
    const auto ids =
        peripheral->simulateWrites({write(bluetooth::micRequestCharacteristicUUID(), "1")});
    EXPECT_EQ(log.entries(), (Log{"script ran", "respond #" + std::to_string(ids[0])}));
    EXPECT_EQ(fakes::FakeScriptingEngine::shared().executedSources.back(),
              bluetooth::toggleMicScript());

    // The client has taken the shortcut by the time the queued poll runs.
    client.showMeeting({.isMicOn = true});
    log.clear();
    mainQueue.drain();
    const auto unmuted = sent(idleValue | connectedBit | micBit);
    EXPECT_EQ(log.entries(), (Log{"checkStatus ran", unmuted}));

    log.clear();
    mainQueue.advance(pollInterval);
    EXPECT_EQ(log.entries(), (Log{"checkStatus ran", unmuted})) << "sent again unchanged";

    log.clear();
    mainQueue.advance(pollInterval);
    EXPECT_EQ(log.entries(), Log{"checkStatus ran"});
}

TEST_F(RequestRoadTest, ABatchOfThreeGivesThreePollsOnceAnsweredAndTheLaterTwoSend) {
    peripheral->simulateWrites({write(bluetooth::micRequestCharacteristicUUID(), "1"),
                                write(bluetooth::cameraRequestCharacteristicUUID(), "0"),
                                write(bluetooth::activeRequestCharacteristicUUID(), "1")});
    EXPECT_EQ(mainQueue.pendingWork(), 3u);
    ASSERT_EQ(log.entries().size(), 6u);
    EXPECT_EQ(log.entries().back().rfind("respond #", 0), 0u) << "polls wait for the answers";

    log.clear();
    mainQueue.drain();
    const auto value = sent(idleValue | connectedBit);
    EXPECT_EQ(log.entries(),
              (Log{"checkStatus ran", "checkStatus ran", value, "checkStatus ran", value}));

    log.clear();
    mainQueue.advance(pollInterval);
    EXPECT_EQ(log.entries(), (Log{"checkStatus ran", value})) << "the third forces one more";
}

}  // namespace
}  // namespace quorla::app

#include "bluetooth/write_request_handling.hpp"

#include <gtest/gtest.h>

#include "session_fixture.hpp"

namespace quorla::bluetooth {
namespace {

using Bytes = platform::Bytes;
using ::testing::ElementsAre;

class WriteRequestHandling : public SessionTest {
  protected:
    void SetUp() override {
        SessionTest::SetUp();
        powerOnWithRecordName();
    }

    // One write; returns what was announced for it.
    std::vector<std::string> write(const platform::CharacteristicRef& characteristic,
                                   std::optional<Bytes> value) {
        announcements.clear();
        radio->simulateWrites({{characteristic, std::move(value)}});
        return announcements;
    }

    fakes::FakeScriptingEngine& engine = fakes::FakeScriptingEngine::shared();
};

TEST_F(WriteRequestHandling, ABatchIsCarriedOutRequestByRequestEachAnsweredAfterItsAnnouncement) {
    const auto ids = radio->simulateWrites({
        {session.micRequestCharacteristic, Bytes{'1'}},
        {session.cameraRequestCharacteristic, Bytes{'0'}},
        {session.handRequestCharacteristic, Bytes{'x'}},
    });
    const auto respond = [&](int i) { return "respond #" + std::to_string(ids[i]); };
    EXPECT_THAT(log(), ElementsAre("script ran", "announce unmute", respond(0),            //
                                   "script ran", "announce deactivateCamera", respond(1),  //
                                   "script ran", "announce toggleHand", respond(2)));
    EXPECT_THAT(engine.executedSources,
                ElementsAre(toggleMicScript(), toggleCameraScript(), toggleHandScript()));
    for (const auto& response : radio->responses) {
        EXPECT_EQ(response.result, platform::AttResult::success);
    }
}

TEST_F(WriteRequestHandling, OnlyTheSingleByteOneSwitchesOn) {
    const std::vector<std::optional<Bytes>> offValues = {
        Bytes{'0'},       Bytes{},           Bytes{'0', '1'},
        Bytes{'1', '\n'}, Bytes{'1', 0x00},  Bytes{'t', 'r', 'u', 'e'},
        Bytes{0xFF},      Bytes{0xC3, 0x28}, Bytes{' ', '1'},
    };
    for (const auto& value : offValues) {
        EXPECT_THAT(write(session.micRequestCharacteristic, value), ElementsAre("mute"));
        EXPECT_THAT(write(session.cameraRequestCharacteristic, value),
                    ElementsAre("deactivateCamera"));
        EXPECT_THAT(write(session.activeRequestCharacteristic, value),
                    ElementsAre("selectGallery"));
    }
    EXPECT_THAT(write(session.micRequestCharacteristic, Bytes{'1'}), ElementsAre("unmute"));
    EXPECT_THAT(write(session.cameraRequestCharacteristic, Bytes{'1'}),
                ElementsAre("activateCamera"));
    EXPECT_THAT(write(session.activeRequestCharacteristic, Bytes{'1'}),
                ElementsAre("selectActive"));
    EXPECT_THAT(write(session.handRequestCharacteristic, Bytes{'1'}), ElementsAre("toggleHand"));
    EXPECT_THAT(write(session.handRequestCharacteristic, Bytes{'0'}), ElementsAre("toggleHand"));
}

TEST_F(WriteRequestHandling, RepeatedRequestsAreAllCarriedOut) {
    write(session.micRequestCharacteristic, Bytes{'1'});
    write(session.micRequestCharacteristic, Bytes{'1'});
    EXPECT_THAT(engine.executedSources, ElementsAre(toggleMicScript(), toggleMicScript()));
    EXPECT_EQ(radio->responses.size(), 2u);
}

TEST_F(WriteRequestHandling, UnroutedOrValuelessRequestsAreAnsweredAndNothingElse) {
    const auto stranger = std::make_shared<const platform::Characteristic>(
        platform::Characteristic{micRequestCharacteristicUUID(), 0x16, 0x03});
    const auto ids = radio->simulateWrites({
        {session.statusCharacteristic, Bytes{'1'}},
        {stranger, Bytes{'1'}},  // same UUID, but not the object this session created
        {session.micRequestCharacteristic, std::nullopt},
        {nullptr, Bytes{'1'}},
    });
    EXPECT_THAT(
        log(),
        ElementsAre("respond #" + std::to_string(ids[0]), "respond #" + std::to_string(ids[1]),
                    "respond #" + std::to_string(ids[2]), "respond #" + std::to_string(ids[3])));
    EXPECT_TRUE(engine.createdSources.empty());
}

TEST_F(WriteRequestHandling, BeforeTheServiceIsBuiltNothingIsRouted) {
    BluetoothSessionManager fresh;
    fakes::FakePeripheralManager freshRadio(fresh);
    freshRadio.simulateWrites({{session.micRequestCharacteristic, Bytes{'1'}}});
    EXPECT_EQ(freshRadio.responses.size(), 1u);
    EXPECT_TRUE(announcements.empty());
    EXPECT_TRUE(engine.createdSources.empty());
}

TEST_F(WriteRequestHandling, AScriptThatCannotBeCreatedOrFailsStillLeadsToAnnouncementAndAnswer) {
    engine.failCreation = true;
    auto ids = radio->simulateWrites({{session.cameraRequestCharacteristic, Bytes{'1'}}});
    EXPECT_THAT(log(),
                ElementsAre("announce activateCamera", "respond #" + std::to_string(ids[0])));
    EXPECT_THAT(engine.createdSources, ElementsAre(toggleCameraScript()));
    EXPECT_TRUE(engine.executedSources.empty());

    fakes::CallLog::shared().clear();
    engine.failCreation = false;
    engine.failExecution = true;
    ids = radio->simulateWrites({{session.cameraRequestCharacteristic, Bytes{0xFF}},
                                 {session.activeRequestCharacteristic, Bytes{'1'}}});
    EXPECT_THAT(log(), ElementsAre("script failed", "announce deactivateCamera",
                                   "respond #" + std::to_string(ids[0]), "script failed",
                                   "announce selectActive", "respond #" + std::to_string(ids[1])));
}

}  // namespace
}  // namespace quorla::bluetooth

#include <gtest/gtest.h>

#include <any>
#include <memory>
#include <string>
#include <vector>

#include "automation/script_library.hpp"
#include "bluetooth/bluetooth_session_manager.hpp"
#include "bluetooth/identifiers.hpp"
#include "bluetooth/write_request_handling.hpp"
#include "fakes/fake_peripheral_manager.hpp"
#include "fakes/fake_scripting_engine.hpp"
#include "fakes/fake_user_defaults.hpp"
#include "platform/notification_center.hpp"
#include "protocol/request_message_key.hpp"

namespace quorla::bluetooth {
namespace {

// A session manager attached to a fake radio. Every "request" announcement goes to the
// call log as "announce <message>", so its order against scripts and answers shows.
class SessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Built before the fakes are reset, so that they record only what the test's
        // requests do; its first build has a test of its own.
        automation::ScriptLibrary::shared();
        fakes::resetProcessWideFakes();
        auto peripheral = std::make_unique<fakes::FakePeripheralManager>(session);
        radio = peripheral.get();
        session.peripheralManager = std::move(peripheral);
        // The literal texts: a listener elsewhere in the process knows no shared header.
        observer = center().addObserver("request", [](const platform::Notification& n) {
            const auto message =
                std::any_cast<protocol::RequestMessageKey>(n.userInfo.at("message"));
            log().add("announce " + std::string(message.rawValue()));
        });
    }
    void TearDown() override { center().removeObserver(observer); }

    static platform::NotificationCenter& center() {
        return platform::NotificationCenter::defaultCenter();
    }
    static fakes::CallLog& log() { return fakes::CallLog::shared(); }
    static void storeRecordName(const std::string& name) {
        fakes::FakeUserDefaults::shared().setString("quorla.iCloudUserID", name);
    }
    // Published under a stored name, with the log cleared afterwards.
    void powerOn() {
        storeRecordName("abc");
        radio->simulateState(platform::ManagerState::poweredOn);
        log().clear();
    }

    BluetoothSessionManager session;
    fakes::FakePeripheralManager* radio = nullptr;
    platform::NotificationCenter::ObserverToken observer = 0;
};

using Bytes = platform::Bytes;
using Log = std::vector<std::string>;

TEST_F(SessionTest, StatusByteKeepsTheHighBitsSetAndCarriesEachFlagInItsOwnBit) {
    EXPECT_EQ(session.statusByte(), 0xE0);
    const auto raise = [this](bool& flag) { return flag = true, session.statusByte(); };
    EXPECT_EQ(raise(session.isCameraActive), 0xE1);
    EXPECT_EQ(raise(session.isMicActive), 0xE3);
    EXPECT_EQ(raise(session.isHandRaised), 0xE7);
    EXPECT_EQ(raise(session.isConnected), 0xEF);
    EXPECT_EQ(raise(session.isActiveSelected), 0xFF);
}

// The service's UUIDs for "abc" and "" were worked out by hand from the SHA-1 digests of
// the names in its namespace.
TEST_F(SessionTest, EachPoweredOnReportReplacesTheServiceWithFiveFreshOnesUnderTheNameStoredThen) {
    radio->simulateState(platform::ManagerState::poweredOn);
    fakes::FakeUserDefaults::shared().setNonString("quorla.iCloudUserID");
    radio->simulateState(platform::ManagerState::poweredOn);
    EXPECT_EQ(log().entries(), Log{}) << "no record name as text, nothing published";
    storeRecordName("abc");
    log().clear();
    for (int state = 0; state < 5; ++state)  // every state but poweredOn
        radio->simulateState(static_cast<platform::ManagerState>(state));
    radio->simulateState(platform::ManagerState::poweredOn);
    EXPECT_EQ(log().entries(), (Log{"removeAllServices", "addService",
                                    "advertise B59E243A-CDC0-590E-813E-91A84F9E841C"}));
    const auto service = radio->services.at(0);
    EXPECT_EQ(service.type.toString() + (service.isPrimary ? " primary" : ""),
              "B59E243A-CDC0-590E-813E-91A84F9E841C primary");
    std::string types;
    for (const auto& characteristic : service.characteristics)
        types += characteristic->type.toString() + " ";
    // Status, then the microphone, camera, hand and view requests.
    EXPECT_EQ(types,
              "E826E5D9-D84F-4BC0-A8E7-EE71933B7C30 9544CC4B-AE2B-4D23-9988-91F785B4EBE0 "
              "416E2079-70BE-4BE1-8DF2-429652F50C67 B6B279AB-E82F-4CA7-A083-1B3B6F08280B "
              "51E0B506-C88A-414E-9603-DABC63EBB6BA ");
    EXPECT_EQ(service.characteristics.front(), session.statusCharacteristic);
    // Switched off and on, the radio still holds the earlier service.
    storeRecordName("");
    radio->simulateState(platform::ManagerState::poweredOff);
    radio->simulateState(platform::ManagerState::poweredOn);
    EXPECT_EQ(log().entries().back(), "advertise 8F43DB2D-3A67-57C4-96DE-BFE7BC687D3E");
    ASSERT_EQ(radio->services.size(), 1u) << "the earlier service left beside the new one";
    EXPECT_NE(radio->services[0].characteristics[1], service.characteristics[1]) << "built anew";
}

TEST_F(SessionTest, ThePairingSettingAtEachBuildRaisesTheSecurityOfAllFiveAndNothingElse) {
    storeRecordName("abc");
    const struct {
        bool isPairingRequired;
        int properties, permissions;
    } rows[] = {{true, 0x100 | 0x16, 0x04 | 0x08}, {false, 0x16, 0x01 | 0x02}};
    for (const auto& row : rows) {
        fakes::FakeUserDefaults::shared().setBool("quorla.requirePairing", row.isPairingRequired);
        radio->simulateState(platform::ManagerState::poweredOn);
        const auto& characteristics = radio->services.back().characteristics;
        ASSERT_EQ(characteristics.size(), 5u);
        for (const auto& characteristic : characteristics)
            EXPECT_EQ(std::pair(int(characteristic->properties), int(characteristic->permissions)),
                      std::pair(row.properties, row.permissions))
                << row.isPairingRequired;
    }
}

TEST_F(SessionTest, ReadsOfTheStatusGetTheWholeByteAtAnyOffsetAndOthersNoValue) {
    powerOn();
    session.isConnected = session.isMicActive = true;
    for (std::size_t offset : {0u, 1u, 5u})
        EXPECT_EQ(radio->simulateRead(session.statusCharacteristic, offset), Bytes{0xEA}) << offset;
    for (const auto& other :
         {session.micRequestCharacteristic, session.activeRequestCharacteristic})
        EXPECT_EQ(radio->simulateRead(other), std::nullopt);
}

TEST_F(SessionTest, OnlySubscribingToTheBuiltStatusSendsItAtOnce) {
    session.pushStatus();
    radio->simulateSubscribe(nullptr);
    powerOn();
    radio->simulateSubscribe(session.micRequestCharacteristic);
    session.isActiveSelected = true;
    radio->simulateSubscribe(session.statusCharacteristic);
    EXPECT_EQ(log().entries(), Log{"update F0"});
}

TEST_F(SessionTest, AnUpdateRefusedForAFullQueueIsSentOnceTheQueueHasRoomUnlessSuperseded) {
    powerOn();
    radio->simulateReadyToUpdate();  // nothing pending, nothing sent
    session.isConnected = true;
    radio->refuseUpdates = true;
    session.pushStatus();  // the companion misses the meeting starting...
    session.isConnected = false;
    session.pushStatus();            // ...and its end
    radio->simulateReadyToUpdate();  // still full
    radio->refuseUpdates = false;
    radio->simulateReadyToUpdate();
    radio->simulateReadyToUpdate();
    session.isMicActive = true;
    radio->refuseUpdates = true;
    session.pushStatus();
    radio->refuseUpdates = false;
    session.pushStatus();  // a later value got through: the refused one is stale
    radio->simulateReadyToUpdate();
    EXPECT_EQ(log().entries(), (Log{"update refused E8", "update refused E0", "update refused E0",
                                    "update E0", "update refused E2", "update E2"}));
}

class WriteRequestHandling : public SessionTest {
  protected:
    void SetUp() override {
        SessionTest::SetUp();
        powerOn();
    }

    // What the log shows for routed requests, numbered on from first.
    static Log carriedOut(int first, std::vector<std::string> announcements,
                          const std::string& run = "script ran") {
        Log log;
        for (const auto& announcement : announcements)
            log.insert(log.end(),
                       {run, "announce " + announcement, "respond #" + std::to_string(first++)});
        return log;
    }

    fakes::FakeScriptingEngine& engine = fakes::FakeScriptingEngine::shared();
};

// The microphone's script as the client and System Events need it, written out whole; the
// others differ from it only in the handler's name and the keystroke line.
constexpr std::string_view toggleMicText = R"(on toggleMic()
    tell application "System Events" to set frontmost of process "zoom.us" to true
    tell application "System Events"
        tell process "zoom.us"
            keystroke "a" using {command down, shift down}
        end tell
    end tell
    return true
end toggleMic

toggleMic())";

TEST_F(WriteRequestHandling, EachRequestCharacteristicRunsItsExactToggleScript) {
    const std::string micKeystroke = R"(keystroke "a" using {command down, shift down})";
    const struct {
        platform::CharacteristicRef BluetoothSessionManager::*characteristic;
        std::string handler, keystroke;
    } rows[] = {
        {&BluetoothSessionManager::micRequestCharacteristic, "toggleMic", micKeystroke},
        {&BluetoothSessionManager::cameraRequestCharacteristic, "toggleCamera",
         R"(keystroke "v" using {command down, shift down})"},
        {&BluetoothSessionManager::handRequestCharacteristic, "toggleHand",
         R"(keystroke "y" using option down)"},
        {&BluetoothSessionManager::activeRequestCharacteristic, "toggleView",
         R"(keystroke "w" using {command down, shift down})"},
    };
    for (const auto& row : rows) {
        std::string expected(toggleMicText);
        expected.replace(expected.find(micKeystroke), micKeystroke.size(), row.keystroke);
        for (auto at = expected.find("toggleMic"); at != std::string::npos;
             at = expected.find("toggleMic", at + row.handler.size()))
            expected.replace(at, 9, row.handler);
        engine.texts.clear();
        radio->simulateWrites({{session.*row.characteristic, Bytes{'0'}}});
        EXPECT_EQ(engine.texts, Log{expected});
    }
}

// Only the single byte "1" switches on: every other value, longer ones beginning with it
// included, switches off.
TEST_F(WriteRequestHandling, ABatchIsCarriedOutInOrderEachRequestAnsweredAfterItsAnnouncement) {
    radio->simulateWrites({{session.micRequestCharacteristic, Bytes{'1'}},
                           {session.cameraRequestCharacteristic, Bytes{'0'}},
                           {session.handRequestCharacteristic, Bytes{}},
                           {session.activeRequestCharacteristic, Bytes{'1'}},
                           {session.cameraRequestCharacteristic, Bytes{'1'}},
                           {session.handRequestCharacteristic, Bytes{'1'}},
                           {session.activeRequestCharacteristic, Bytes{'1', '\n'}},
                           {session.micRequestCharacteristic, Bytes{'1', 0x00}},
                           {session.micRequestCharacteristic, Bytes{' ', '1'}},
                           {session.cameraRequestCharacteristic, Bytes{'0', '1'}}});
    EXPECT_EQ(
        log().entries(),
        carriedOut(1, {"unmute", "deactivateCamera", "toggleHand", "selectActive", "activateCamera",
                       "toggleHand", "selectGallery", "mute", "mute", "deactivateCamera"}));
}

TEST_F(WriteRequestHandling, UnroutedOrValuelessRequestsAreAnsweredAndNothingElse) {
    const auto stranger = std::make_shared<const platform::Characteristic>(
        platform::Characteristic{session.micRequestCharacteristic->type, 0x16, 0x03});
    radio->simulateWrites({{session.statusCharacteristic, Bytes{'1'}},
                           {stranger, Bytes{'1'}},  // same UUID, but not this session's object
                           {session.micRequestCharacteristic, std::nullopt},
                           {nullptr, Bytes{'1'}}});
    BluetoothSessionManager unbuilt;
    fakes::FakePeripheralManager(unbuilt).simulateWrites(
        {{session.micRequestCharacteristic, Bytes{'1'}}});
    EXPECT_EQ(log().entries(),
              (Log{"respond #1", "respond #2", "respond #3", "respond #4", "respond #1"}));
    EXPECT_EQ(engine.texts, Log{});
}

TEST_F(WriteRequestHandling, AScriptThatCannotBeCreatedOrFailsStillLeadsToAnnouncementAndAnswer) {
    engine.failCreation = true;
    radio->simulateWrites({{session.cameraRequestCharacteristic, Bytes{'1'}}});
    EXPECT_EQ(log().entries(), (Log{"announce activateCamera", "respond #1"}));
    EXPECT_EQ(engine.texts.size(), 1u);
    log().clear();
    engine.failCreation = false;
    engine.failExecution = true;
    radio->simulateWrites({{session.cameraRequestCharacteristic, Bytes{0xFF}},
                           {session.activeRequestCharacteristic, Bytes{'1'}}});
    EXPECT_EQ(log().entries(),
              carriedOut(2, {"deactivateCamera", "selectActive"}, "script failed"));
}

}  // namespace
}  // namespace quorla::bluetooth

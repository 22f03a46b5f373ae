#include "bluetooth/bluetooth_session_manager.hpp"

#include <gtest/gtest.h>

#include <set>

#include "session_fixture.hpp"

namespace quorla::bluetooth {
namespace {

using Bytes = platform::Bytes;
using Log = std::vector<std::string>;
using ::testing::ElementsAre;

// The identities the companion app has built in, in the order the service lists them.
constexpr const char* characteristicUUIDs[] = {
    "E826E5D9-D84F-4BC0-A8E7-EE71933B7C30",  // status
    "9544CC4B-AE2B-4D23-9988-91F785B4EBE0",  // microphone request
    "416E2079-70BE-4BE1-8DF2-429652F50C67",  // camera request
    "B6B279AB-E82F-4CA7-A083-1B3B6F08280B",  // hand request
    "51E0B506-C88A-414E-9603-DABC63EBB6BA",  // view request
};

class BluetoothSession : public SessionTest {
  protected:
    std::vector<platform::CharacteristicRef> fields() const {
        return {session.statusCharacteristic, session.micRequestCharacteristic,
                session.cameraRequestCharacteristic, session.handRequestCharacteristic,
                session.activeRequestCharacteristic};
    }
};

TEST_F(BluetoothSession, StatusByteKeepsTheHighBitsSetAndCarriesEachFlagInItsOwnBit) {
    struct Row {
        bool connected, mic, camera, hand, active;
        int byte;
    };
    const Row rows[] = {
        {false, false, false, false, false, 0xE0}, {true, false, false, false, false, 0xE8},
        {false, true, false, false, false, 0xE2},  {false, false, true, false, false, 0xE1},
        {false, false, false, true, false, 0xE4},  {false, false, false, false, true, 0xF0},
        {true, true, true, true, true, 0xFF},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.byte);
        session.isConnected = row.connected;
        session.isMicActive = row.mic;
        session.isCameraActive = row.camera;
        session.isHandRaised = row.hand;
        session.isActiveSelected = row.active;
        EXPECT_EQ(session.statusByte(), row.byte);
    }
}

TEST_F(BluetoothSession, PoweringOnPublishesFiveDistinctCharacteristicsUnderTheNamesService) {
    storeRecordName("abc");
    log().clear();
    radio->simulateState(platform::ManagerState::poweredOn);

    EXPECT_EQ(log().entries(),
              (Log{"addService", "advertise B59E243A-CDC0-590E-813E-91A84F9E841C"}));
    const auto& service = radio->services.at(0);
    EXPECT_EQ(service.type.toString(), "B59E243A-CDC0-590E-813E-91A84F9E841C");
    EXPECT_TRUE(service.isPrimary);
    EXPECT_EQ(service.characteristics, fields());
    std::set<std::string> distinct;
    for (std::size_t i = 0; i < service.characteristics.size(); ++i) {
        const auto& characteristic = *service.characteristics[i];
        EXPECT_EQ(characteristic.type.toString(), characteristicUUIDs[i]);
        distinct.insert(characteristic.type.toString());
        EXPECT_EQ(characteristic.properties, 0x02 | 0x04 | 0x10) << "read, write, notify";
        EXPECT_EQ(characteristic.permissions, 0x01 | 0x02) << "readable, writeable";
    }
    EXPECT_EQ(distinct.size(), 5u);
}

TEST_F(BluetoothSession, EachPoweredOnReportAloneRebuildsWithTheNameStoredAtThatMoment) {
    storeRecordName("abc");
    log().clear();
    for (auto state : {platform::ManagerState::unknown, platform::ManagerState::resetting,
                       platform::ManagerState::unsupported, platform::ManagerState::unauthorized,
                       platform::ManagerState::poweredOff}) {
        radio->simulateState(state);
    }
    EXPECT_EQ(log().entries(), Log{});
    EXPECT_EQ(session.statusCharacteristic, nullptr);

    radio->simulateState(platform::ManagerState::poweredOn);
    const auto first = fields();
    radio->simulateState(platform::ManagerState::poweredOff);
    EXPECT_EQ(fields(), first);
    storeRecordName("");
    radio->simulateState(platform::ManagerState::poweredOn);
    EXPECT_EQ(log().startingWith("advertise"),
              (Log{"advertise B59E243A-CDC0-590E-813E-91A84F9E841C",
                   "advertise 8F43DB2D-3A67-57C4-96DE-BFE7BC687D3E"}));
    for (std::size_t i = 0; i < first.size(); ++i)
        EXPECT_NE(fields()[i], first[i]);
}

TEST_F(BluetoothSession, WithoutATextRecordNameStoredNothingIsPublished) {
    radio->simulateState(platform::ManagerState::poweredOn);
    fakes::FakeUserDefaults::shared().setNonString("quorla.iCloudUserID");
    radio->simulateState(platform::ManagerState::poweredOn);
    EXPECT_EQ(log().entries(), Log{});
    for (const auto& field : fields())
        EXPECT_NE(field, nullptr);
}

TEST_F(BluetoothSession, ReadsOfTheStatusGetTheWholeByteAtAnyOffsetAndOthersNoValue) {
    powerOn();
    session.isConnected = true;
    session.isMicActive = true;
    for (std::size_t offset : {0u, 1u, 5u})
        EXPECT_EQ(radio->simulateRead(session.statusCharacteristic, offset), Bytes{0xEA}) << offset;
    for (const auto& other :
         {session.micRequestCharacteristic, session.cameraRequestCharacteristic,
          session.handRequestCharacteristic, session.activeRequestCharacteristic})
        EXPECT_EQ(radio->simulateRead(other), std::nullopt);
}

TEST_F(BluetoothSession, OnlySubscribingToTheBuiltStatusSendsItAtOnce) {
    session.pushStatus();
    radio->simulateSubscribe(nullptr);
    powerOn();
    radio->simulateSubscribe(session.micRequestCharacteristic);
    EXPECT_EQ(log().entries(), Log{});

    session.isActiveSelected = true;
    radio->simulateSubscribe(session.statusCharacteristic);
    EXPECT_EQ(log().entries(), Log{"update F0"});
}

TEST_F(BluetoothSession, AnUpdateRefusedForAFullQueueIsSentOnceTheQueueHasRoom) {
    powerOn();
    radio->simulateReadyToUpdate();
    EXPECT_EQ(log().entries(), Log{}) << "nothing pending, nothing sent";

    session.isConnected = true;
    radio->refuseUpdates = true;
    session.pushStatus();  // the companion misses the meeting starting...
    session.isConnected = false;
    session.pushStatus();            // ...and its end
    radio->simulateReadyToUpdate();  // still full
    radio->refuseUpdates = false;
    radio->simulateReadyToUpdate();
    radio->simulateReadyToUpdate();
    EXPECT_EQ(log().entries(),
              (Log{"update refused E8", "update refused E0", "update refused E0", "update E0"}));

    log().clear();
    session.isMicActive = true;
    radio->refuseUpdates = true;
    session.pushStatus();
    radio->refuseUpdates = false;
    session.pushStatus();  // a later value got through: the refused one is stale
    radio->simulateReadyToUpdate();
    EXPECT_EQ(log().entries(), (Log{"update refused E2", "update E2"}));
}

}  // namespace
}  // namespace quorla::bluetooth

#include "bluetooth/bluetooth_session_manager.hpp"

#include <set>

#include "session_fixture.hpp"

namespace quorla::bluetooth {
namespace {

using Bytes = platform::Bytes;
using Log = std::vector<std::string>;

// Vectors worked out by others: the first two by hand from the SHA-1 digests in the
// service namespace, the last is the version-5 example of RFC 9562.
TEST(NameBasedUUID, MatchesKnownVersion5Vectors) {
    const auto ns = platform::Uuid::fromString("1cdc9855-5713-4f64-b799-4ab82dc6d1c8").value();
    EXPECT_EQ(nameBasedUUID("abc", ns).toString(), "B59E243A-CDC0-590E-813E-91A84F9E841C");
    EXPECT_EQ(nameBasedUUID("", ns).toString(), "8F43DB2D-3A67-57C4-96DE-BFE7BC687D3E");
    const auto dns = platform::Uuid::fromString("6BA7B810-9DAD-11D1-80B4-00C04FD430C8").value();
    EXPECT_EQ(nameBasedUUID("www.example.com", dns).toString(),
              "2ED6657D-E927-568B-95E1-2665A8AEA6A2");
    for (auto bad :
         {"1CDC9855-5713-4F64-B799-4AB82DC6D1C", "{1CDC9855-5713-4F64-B799-4AB82DC6D1C8}",
          "1CDC98555-713-4F64-B799-4AB82DC6D1C8", "1CDC9855-5713-4F64-B799-4AB82DC6D1CG"})
        EXPECT_EQ(platform::Uuid::fromString(bad), std::nullopt) << bad;
}

TEST_F(SessionTest, StatusByteKeepsTheHighBitsSetAndCarriesEachFlagInItsOwnBit) {
    const std::pair<bool BluetoothSessionManager::*, int> bits[] = {
        {&BluetoothSessionManager::isActiveSelected, 0x10},
        {&BluetoothSessionManager::isConnected, 0x08},
        {&BluetoothSessionManager::isHandRaised, 0x04},
        {&BluetoothSessionManager::isMicActive, 0x02},
        {&BluetoothSessionManager::isCameraActive, 0x01}};
    EXPECT_EQ(session.statusByte(), 0xE0);
    for (const auto& [flag, bit] : bits) {
        session.*flag = true;
        EXPECT_EQ(session.statusByte(), 0xE0 | bit) << bit;
        session.*flag = false;
    }
}

TEST_F(SessionTest, EachPoweredOnReportPublishesFiveDistinctCharacteristicsUnderTheNameStoredThen) {
    radio->simulateState(platform::ManagerState::poweredOn);
    fakes::FakeUserDefaults::shared().setNonString("quorla.iCloudUserID");
    radio->simulateState(platform::ManagerState::poweredOn);
    EXPECT_EQ(log().entries(), Log{}) << "no record name as text, nothing published";
    storeRecordName("abc");
    log().clear();
    for (int state = 0; state < 5; ++state)  // every state but poweredOn
        radio->simulateState(static_cast<platform::ManagerState>(state));
    radio->simulateState(platform::ManagerState::poweredOn);
    EXPECT_EQ(log().entries(),
              (Log{"addService", "advertise B59E243A-CDC0-590E-813E-91A84F9E841C"}));
    const auto service = radio->services.at(0);
    EXPECT_EQ(service.type.toString() + (service.isPrimary ? " primary" : ""),
              "B59E243A-CDC0-590E-813E-91A84F9E841C primary");
    std::string types;
    std::set<std::string> distinct;
    for (const auto& characteristic : service.characteristics) {
        types += characteristic->type.toString() + " ";
        distinct.insert(characteristic->type.toString());
        EXPECT_EQ(characteristic->properties, 0x02 | 0x04 | 0x10) << "read, write, notify";
        EXPECT_EQ(characteristic->permissions, 0x01 | 0x02) << "readable, writeable";
    }
    // Status, then the microphone, camera, hand and view requests.
    EXPECT_EQ(types,
              "E826E5D9-D84F-4BC0-A8E7-EE71933B7C30 9544CC4B-AE2B-4D23-9988-91F785B4EBE0 "
              "416E2079-70BE-4BE1-8DF2-429652F50C67 B6B279AB-E82F-4CA7-A083-1B3B6F08280B "
              "51E0B506-C88A-414E-9603-DABC63EBB6BA ");
    EXPECT_EQ(distinct.size(), 5u);
    EXPECT_EQ(service.characteristics.front(), session.statusCharacteristic);
    storeRecordName("");
    radio->simulateState(platform::ManagerState::poweredOn);
    EXPECT_EQ(log().entries().back(), "advertise 8F43DB2D-3A67-57C4-96DE-BFE7BC687D3E");
    EXPECT_NE(radio->services.back().characteristics[1], service.characteristics[1])
        << "built anew";
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

}  // namespace
}  // namespace quorla::bluetooth

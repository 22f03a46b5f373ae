#include "bluetooth/bluetooth_session_manager.hpp"

#include <gtest/gtest.h>

#include "session_fixture.hpp"

namespace quorla::bluetooth {
namespace {

using Bytes = platform::Bytes;
using ::testing::ElementsAre;

class BluetoothSession : public SessionTest {
  protected:
    void setFlags(bool connected, bool mic, bool camera, bool hand, bool active) {
        session.isConnected = connected;
        session.isMicActive = mic;
        session.isCameraActive = camera;
        session.isHandRaised = hand;
        session.isActiveSelected = active;
    }

    std::vector<platform::CharacteristicRef> fields() const {
        return {session.statusCharacteristic, session.micRequestCharacteristic,
                session.cameraRequestCharacteristic, session.handRequestCharacteristic,
                session.activeRequestCharacteristic};
    }
};

TEST_F(BluetoothSession, StatusByteKeepsTheHighBitsSetAndCarriesEachFlagInItsOwnBit) {
    EXPECT_EQ(session.statusByte(), 0xE0);
    setFlags(true, true, false, false, false);
    EXPECT_EQ(session.statusByte(), 0xEA);
    setFlags(true, false, false, false, true);
    EXPECT_EQ(session.statusByte(), 0xF8);
    setFlags(true, true, true, true, true);
    EXPECT_EQ(session.statusByte(), 0xFF);
    setFlags(false, false, true, false, false);
    EXPECT_EQ(session.statusByte(), 0xE1);
    setFlags(false, false, false, true, false);
    EXPECT_EQ(session.statusByte(), 0xE4);
}

TEST_F(BluetoothSession, PoweringOnPublishesFiveCharacteristicsUnderTheRecordNamesService) {
    storeRecordName("abc");
    radio->simulateState(platform::ManagerState::poweredOn);

    EXPECT_THAT(radio->calls, ElementsAre("addService", "startAdvertising"));
    const auto& service = radio->addedServices.at(0);
    const auto serviceUuid = platform::Uuid::fromString("B59E243A-CDC0-590E-813E-91A84F9E841C");
    EXPECT_EQ(service.type, serviceUuid);
    EXPECT_TRUE(service.isPrimary);
    EXPECT_EQ(service.characteristics, fields());
    const platform::Uuid* expected[] = {
        &statusCharacteristicUUID(), &micRequestCharacteristicUUID(),
        &cameraRequestCharacteristicUUID(), &handRequestCharacteristicUUID(),
        &activeRequestCharacteristicUUID()};
    for (std::size_t i = 0; i < 5; ++i) {
        const auto& characteristic = *service.characteristics[i];
        EXPECT_EQ(characteristic.type, *expected[i]);
        EXPECT_EQ(characteristic.properties,
                  platform::characteristic_property::read |
                      platform::characteristic_property::writeWithoutResponse |
                      platform::characteristic_property::notify);
        EXPECT_EQ(characteristic.permissions, platform::attribute_permission::readable |
                                                  platform::attribute_permission::writeable);
    }
    EXPECT_THAT(radio->advertisements.at(0).serviceUuids, ElementsAre(*serviceUuid));
}

TEST_F(BluetoothSession, OnlyAPoweredOnReportBuildsAnything) {
    storeRecordName("abc");
    for (auto state : {platform::ManagerState::unknown, platform::ManagerState::resetting,
                       platform::ManagerState::unsupported, platform::ManagerState::unauthorized,
                       platform::ManagerState::poweredOff}) {
        radio->simulateState(state);
    }
    EXPECT_TRUE(radio->calls.empty());
    EXPECT_EQ(session.statusCharacteristic, nullptr);

    radio->simulateState(platform::ManagerState::poweredOn);
    const auto built = fields();
    radio->simulateState(platform::ManagerState::poweredOff);
    EXPECT_EQ(fields(), built);
}

TEST_F(BluetoothSession, EachPoweredOnReportRebuildsWithTheNameStoredAtThatMoment) {
    storeRecordName("abc");
    radio->simulateState(platform::ManagerState::poweredOn);
    const auto first = fields();
    storeRecordName("");
    radio->simulateState(platform::ManagerState::poweredOn);

    EXPECT_THAT(radio->calls,
                ElementsAre("addService", "startAdvertising", "addService", "startAdvertising"));
    EXPECT_EQ(radio->addedServices.front().type.toString(), "B59E243A-CDC0-590E-813E-91A84F9E841C");
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_NE(fields()[i], first[i]);
    EXPECT_EQ(radio->addedServices.back().type.toString(), "8F43DB2D-3A67-57C4-96DE-BFE7BC687D3E");
}

TEST_F(BluetoothSession, WithoutAStoredRecordNameNothingIsPublished) {
    radio->simulateState(platform::ManagerState::poweredOn);
    EXPECT_TRUE(radio->calls.empty());
    for (const auto& field : fields())
        EXPECT_NE(field, nullptr);
}

TEST_F(BluetoothSession, ReadsOfTheStatusGetTheWholeByteAtAnyOffsetAndOthersNoValue) {
    powerOnWithRecordName();
    session.isConnected = true;
    session.isMicActive = true;
    for (std::size_t offset : {0u, 1u, 5u}) {
        const auto answer = radio->simulateRead(session.statusCharacteristic, offset);
        EXPECT_EQ(answer.result, platform::AttResult::success);
        EXPECT_EQ(answer.value, Bytes{0xEA}) << "offset " << offset;
    }
    for (const auto& other :
         {session.micRequestCharacteristic, session.cameraRequestCharacteristic,
          session.handRequestCharacteristic, session.activeRequestCharacteristic}) {
        const auto answer = radio->simulateRead(other);
        EXPECT_EQ(answer.result, platform::AttResult::success);
        EXPECT_EQ(answer.value, std::nullopt);
    }
}

TEST_F(BluetoothSession, SubscribingToTheStatusSendsItAtOnceAndToAnythingElseSendsNothing) {
    powerOnWithRecordName();
    radio->simulateSubscribe(session.micRequestCharacteristic);
    radio->simulateUnsubscribe(session.statusCharacteristic);
    EXPECT_TRUE(radio->calls.empty());

    session.isActiveSelected = true;
    radio->simulateSubscribe(session.statusCharacteristic);
    ASSERT_EQ(radio->updates.size(), 1u);
    EXPECT_EQ(radio->updates[0].value, Bytes{0xF0});
    EXPECT_EQ(radio->updates[0].characteristic, session.statusCharacteristic);
}

TEST_F(BluetoothSession, PushingBeforeTheServiceIsBuiltSendsNothing) {
    session.pushStatus();
    radio->simulateSubscribe(nullptr);
    EXPECT_TRUE(radio->calls.empty());
}

TEST_F(BluetoothSession, AnUpdateRefusedForAFullQueueIsSentOnceTheQueueHasRoom) {
    powerOnWithRecordName();
    radio->simulateReadyToUpdate();
    EXPECT_TRUE(radio->calls.empty()) << "nothing pending, nothing sent";

    session.isConnected = true;
    radio->refuseUpdates = true;
    session.pushStatus();  // the companion misses the meeting starting...
    session.isConnected = false;
    session.pushStatus();  // ...and its end
    radio->refuseUpdates = false;
    radio->simulateReadyToUpdate();
    radio->simulateReadyToUpdate();
    EXPECT_THAT(radio->calls, ElementsAre("update refused E8", "update refused E0", "update E0"));
}

TEST_F(BluetoothSession, ARetryTheQueueRefusesAgainWaitsForTheNextChance) {
    powerOnWithRecordName();
    radio->refuseUpdates = true;
    session.pushStatus();
    radio->simulateReadyToUpdate();
    radio->refuseUpdates = false;
    radio->simulateReadyToUpdate();
    EXPECT_THAT(radio->calls, ElementsAre("update refused E0", "update refused E0", "update E0"));

    session.isMicActive = true;
    radio->refuseUpdates = true;
    session.pushStatus();
    radio->refuseUpdates = false;
    session.pushStatus();  // a later value got through: the refused one is stale
    radio->simulateReadyToUpdate();
    EXPECT_EQ(radio->calls.back(), "update E2");
    EXPECT_EQ(radio->calls.size(), 5u);
}

TEST(BluetoothSessionManagerShared, IsOneInstanceForTheProcess) {
    EXPECT_EQ(&BluetoothSessionManager::shared(), &BluetoothSessionManager::shared());
    EXPECT_EQ(BluetoothSessionManager::shared().statusByte(), 0xE0);
}

}  // namespace
}  // namespace quorla::bluetooth

#include "app/app_fixture.hpp"

#include "bluetooth/identifiers.hpp"
#include "protocol/request_message_key.hpp"
#include "protocol/request_notification.hpp"

namespace quorla::app {

AppTest::AppTest() {
    fakes::CallLog::shared().clear();
    fakes::FakeUserDefaults::shared().clear();
    fakes::FakeScriptingEngine::shared().reset();
    auto makePeripheral = [this](platform::PeripheralManagerDelegate& peripheralDelegate) {
        log.add("peripheral manager created");
        auto manager = std::make_unique<fakes::FakePeripheralManager>(peripheralDelegate);
        peripheral = manager.get();
        return manager;
    };
    delegate = std::make_shared<AppDelegate>(
        AppDelegate::Platform{application, mainQueue, statusBar, workspace, cloudIdentity,
                              notificationCenter, [this] { return updates.makeUpdater(); },
                              makePeripheral, console},
        session);
}

AppTest::~AppTest() {
    delegate.reset();
}

void AppTest::completeIdentity(const std::string& name) {
    cloudIdentity.completeWithRecordName(name);
    mainQueue.drain();
}

platform::RunningApplication AppTest::clientAlreadyRunning() {
    platform::RunningApplication application{77, std::string(clientName)};
    workspace.running.push_back(application);
    client.showNoMeeting();
    return application;
}

platform::RunningApplication AppTest::startPollingClient() {
    const auto zoom = clientAlreadyRunning();
    launch();
    completeIdentity();
    EXPECT_EQ(mainQueue.activeTimers(), 1u);
    return zoom;
}

void AppTest::pollMeetingWithCentral(fakes::MeetingState state) {
    connectCentral();
    client.showMeeting(state);
    mainQueue.advance(pollInterval);
}

void AppTest::connectCentral() {
    ASSERT_NE(peripheral, nullptr) << "no peripheral manager yet";
    peripheral->simulateState(platform::ManagerState::poweredOn);
    const auto status = published(bluetooth::statusCharacteristicUUID());
    ASSERT_NE(status, nullptr) << "no service published";
    peripheral->simulateSubscribe(status);
    forgetSent();
}

platform::CharacteristicRef AppTest::published(const platform::Uuid& uuid) const {
    return peripheral ? peripheral->publishedCharacteristic(uuid) : nullptr;
}

std::vector<std::uint8_t> AppTest::sentValues() const {
    std::vector<std::uint8_t> values;
    if (!peripheral)
        return values;
    for (const auto& update : peripheral->updates) {
        EXPECT_EQ(update.value.size(), 1u);
        if (!update.value.empty())
            values.push_back(update.value.front());
    }
    return values;
}

void AppTest::forgetSent() {
    if (peripheral)
        peripheral->updates.clear();
}

void AppTest::postRequest() {
    notificationCenter.post({protocol::requestNotificationName,
                             {{protocol::requestMessageUserInfoKey,
                               protocol::RequestMessageKey(protocol::RequestMessageKey::mute)}}});
}

}  // namespace quorla::app

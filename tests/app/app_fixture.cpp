#include "app/app_fixture.hpp"

#include "automation/script_library.hpp"
#include "protocol/request_message_key.hpp"

namespace quorla::app {

AppTest::AppTest() {
    fakes::resetProcessWideFakes();
    // Built now, so that no test's log depends on whether an earlier test in the same
    // process built it already; its first build has tests of its own.
    automation::ScriptLibrary::shared();
    log.clear();
    auto makePeripheral = [this](platform::PeripheralManagerDelegate& peripheralDelegate) {
        log.add("peripheral manager created");
        auto manager = std::make_unique<fakes::FakePeripheralManager>(peripheralDelegate);
        peripheral = manager.get();
        return manager;
    };
    delegate = std::make_shared<AppDelegate>(
        AppDelegate::Platform{application, mainQueue, statusBar, workspace, cloudIdentity,
                              platform::NotificationCenter::defaultCenter(),
                              [this] { return updates.makeUpdater(); }, makePeripheral, console},
        session);
}

void AppTest::completeIdentity(const std::string& name) {
    cloudIdentity.complete(platform::UserRecordID{name});
    mainQueue.drain();
}

platform::RunningApplication AppTest::clientAlreadyRunning() {
    platform::RunningApplication application{77, "zoom.us"};
    workspace.running.push_back(application);
    client.isRunning = true;
    return application;
}

platform::RunningApplication AppTest::startPollingClient() {
    const auto zoom = clientAlreadyRunning();
    launch();
    completeIdentity();
    EXPECT_EQ(mainQueue.activeTimers(), 1u);
    return zoom;
}

void AppTest::connectCentral() {
    ASSERT_NE(peripheral, nullptr) << "no peripheral manager yet";
    peripheral->simulateState(platform::ManagerState::poweredOn);
    const auto status = peripheral->published("E826E5D9-D84F-4BC0-A8E7-EE71933B7C30");
    ASSERT_NE(status, nullptr) << "no status published";
    peripheral->simulateSubscribe(status);
    log.clear();
}

void AppTest::pollMeetingWithCentral(fakes::MeetingState state) {
    connectCentral();
    client.showMeeting(state);
    mainQueue.advance(pollInterval);
}

Values AppTest::sentValues() const {
    Values values;
    for (const auto& entry : log.startingWith("update "))
        if (!entry.starts_with("update refused"))
            values.push_back(static_cast<std::uint8_t>(std::stoul(entry.substr(7), nullptr, 16)));
    return values;
}

// Posted as write-request handling posts it, under the literal texts.
void AppTest::postRequest() {
    platform::NotificationCenter::defaultCenter().post(
        {"request", {{"message", protocol::RequestMessageKey(protocol::RequestMessageKey::mute)}}});
}

}  // namespace quorla::app

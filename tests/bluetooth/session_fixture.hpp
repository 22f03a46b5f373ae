#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <any>
#include <memory>
#include <string>
#include <vector>

#include "automation/script_library.hpp"
#include "bluetooth/bluetooth_session_manager.hpp"
#include "bluetooth/identifiers.hpp"
#include "fakes/call_log.hpp"
#include "fakes/fake_peripheral_manager.hpp"
#include "fakes/fake_scripting_engine.hpp"
#include "fakes/fake_user_defaults.hpp"
#include "platform/notification_center.hpp"
#include "protocol/request_message_key.hpp"
#include "protocol/request_notification.hpp"

namespace quorla::bluetooth {

// A session manager attached to a fake radio, with every "request" announcement written
// to the shared call log so that its order against scripts and answers can be checked.
class SessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Built before the engine is reset, so that what the engine records is only what
        // the requests of the test ran; its first build has a test of its own.
        automation::ScriptLibrary::shared();
        fakes::CallLog::shared().clear();
        fakes::FakeScriptingEngine::shared().reset();
        fakes::FakeUserDefaults::shared().clear();
        auto peripheral = std::make_unique<fakes::FakePeripheralManager>(session);
        radio = peripheral.get();
        session.peripheralManager = std::move(peripheral);
        observer = platform::NotificationCenter::defaultCenter().addObserver(
            protocol::requestNotificationName, [this](const platform::Notification& n) {
                const auto message = std::any_cast<protocol::RequestMessageKey>(
                    n.userInfo.at(protocol::requestMessageUserInfoKey));
                announcements.push_back(std::string(message.rawValue()));
                fakes::CallLog::shared().add("announce " + announcements.back());
            });
    }

    void TearDown() override {
        platform::NotificationCenter::defaultCenter().removeObserver(observer);
    }

    void storeRecordName(const std::string& name) {
        fakes::FakeUserDefaults::shared().setString(iCloudUserIDDefaultsKey, name);
    }

    void powerOnWithRecordName(const std::string& name = "_a1b2c3") {
        storeRecordName(name);
        radio->simulateState(platform::ManagerState::poweredOn);
        fakes::CallLog::shared().clear();
        radio->calls.clear();
    }

    const std::vector<std::string>& log() const { return fakes::CallLog::shared().entries(); }

    BluetoothSessionManager session;
    fakes::FakePeripheralManager* radio = nullptr;
    platform::NotificationCenter::ObserverToken observer = 0;
    std::vector<std::string> announcements;
};

}  // namespace quorla::bluetooth

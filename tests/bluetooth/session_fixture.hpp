#pragma once

#include <gtest/gtest.h>

#include <any>
#include <memory>
#include <string>
#include <vector>

#include "automation/script_library.hpp"
#include "bluetooth/bluetooth_session_manager.hpp"
#include "bluetooth/identifiers.hpp"
#include "fakes/fake_peripheral_manager.hpp"
#include "fakes/fake_user_defaults.hpp"
#include "platform/notification_center.hpp"
#include "protocol/request_message_key.hpp"

namespace quorla::bluetooth {

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

}  // namespace quorla::bluetooth

#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/app_delegate.hpp"
#include "automation/script_library.hpp"
#include "fakes/fake_application.hpp"
#include "fakes/fake_cloud_identity.hpp"
#include "fakes/fake_main_queue.hpp"
#include "fakes/fake_peripheral_manager.hpp"
#include "fakes/fake_scripting_engine.hpp"
#include "fakes/fake_status_bar.hpp"
#include "fakes/fake_update_framework.hpp"
#include "fakes/fake_user_defaults.hpp"
#include "fakes/fake_workspace.hpp"
#include "protocol/request_message_key.hpp"

namespace quorla::app {

// Sent values read "update <hex>": E0, plus 10 active view, 08 connected, 02 mic, 01 camera.
using Log = std::vector<std::string>;
inline const std::string idleIcon = "icon circle.grid.2x2";
inline const std::string meetingIcon = "icon circle.grid.2x2.fill";

// The whole agent on fakes: a fresh session manager per test, the process-wide
// scripting engine (whose fake client stands for the conferencing client) and defaults.
class AppTest : public ::testing::Test {
  protected:
    AppTest() {
        fakes::resetProcessWideFakes();
        // Built now, so that no log depends on whether an earlier test in the process
        // built it already; its first build has a test of its own.
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
                                  [this] { return updates.makeUpdater(); }, makePeripheral,
                                  console},
            session);
    }
    ~AppTest() override { delegate.reset(); }

    // The application launches; the identity lookup stays pending.
    void launch() { application.run(*delegate); }
    // The lookup finds name and its continuation runs on the main queue.
    void completeIdentity() {
        cloudIdentity.complete(platform::UserRecordID{"abc"});
        mainQueue.drain();
    }
    // The client is running with no meeting before the agent starts.
    platform::RunningApplication clientAlreadyRunning() {
        workspace.running.push_back({77, "zoom.us"});
        client.isRunning = true;
        return workspace.running.back();
    }
    // Launched with the client running and the lookup done: polling runs.
    platform::RunningApplication startPollingClient() {
        const auto zoom = clientAlreadyRunning();
        launch();
        completeIdentity();
        return zoom;
    }
    // The radio powers on and a central subscribes to the status; the log is cleared.
    void connectCentral() {
        peripheral->simulateState(platform::ManagerState::poweredOn);
        peripheral->simulateSubscribe(
            peripheral->published("E826E5D9-D84F-4BC0-A8E7-EE71933B7C30"));
        log.clear();
    }
    // A central listens and the client's meeting shows state at the next poll.
    void pollMeetingWithCentral(fakes::MeetingState state) {
        connectCentral();
        client.showMeeting(state);
        mainQueue.advance(pollInterval);
    }
    // Posted as write-request handling posts it, under the literal texts.
    static void postRequest() {
        platform::NotificationCenter::defaultCenter().post(
            {"request",
             {{"message", protocol::RequestMessageKey(protocol::RequestMessageKey::mute)}}});
    }

    // Torn down in reverse: the queue and the pending lookup go first, letting go of
    // what they hold of the delegate while the fakes it calls are still there.
    fakes::FakeApplication application;
    fakes::FakeStatusBar statusBar;
    fakes::FakeWorkspace workspace;
    fakes::FakeUpdateFramework updates;
    fakes::LoggedConsole console;
    bluetooth::BluetoothSessionManager session;
    fakes::FakePeripheralManager* peripheral = nullptr;  // owned by session
    fakes::FakeCloudIdentity cloudIdentity;
    fakes::FakeMainQueue mainQueue;
    fakes::FakeConferencingClient& client = fakes::FakeScriptingEngine::shared().client;
    fakes::CallLog& log = fakes::CallLog::shared();
    std::shared_ptr<AppDelegate> delegate;
};

}  // namespace quorla::app

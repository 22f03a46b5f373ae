#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/app_delegate.hpp"
#include "bluetooth/bluetooth_session_manager.hpp"
#include "fakes/call_log.hpp"
#include "fakes/fake_application.hpp"
#include "fakes/fake_cloud_identity.hpp"
#include "fakes/fake_main_queue.hpp"
#include "fakes/fake_peripheral_manager.hpp"
#include "fakes/fake_scripting_engine.hpp"
#include "fakes/fake_status_bar.hpp"
#include "fakes/fake_update_framework.hpp"
#include "fakes/fake_user_defaults.hpp"
#include "fakes/fake_workspace.hpp"
#include "platform/notification_center.hpp"

namespace quorla::app {

using Log = std::vector<std::string>;
using Values = std::vector<std::uint8_t>;

// Status values as the companion reads them: the three high bits are always set.
inline constexpr std::uint8_t idleValue = 0xE0;
inline constexpr std::uint8_t activeViewBit = 0x10;
inline constexpr std::uint8_t connectedBit = 0x08;
inline constexpr std::uint8_t handBit = 0x04;
inline constexpr std::uint8_t micBit = 0x02;
inline constexpr std::uint8_t cameraBit = 0x01;

inline const std::string idleIcon = "icon circle.grid.2x2";
inline const std::string meetingIcon = "icon circle.grid.2x2.fill";

// The whole agent on fakes: a fresh session manager per test, the process-wide
// scripting engine (whose fake client stands for the conferencing client) and defaults.
class AppTest : public ::testing::Test {
  protected:
    AppTest();
    ~AppTest() override { delegate.reset(); }

    // The application launches; the identity lookup stays pending.
    void launch() { application.run(*delegate); }
    // The lookup finds name and its continuation runs on the main queue.
    void completeIdentity(const std::string& name = "abc");
    // The client is running with no meeting before the agent starts.
    platform::RunningApplication clientAlreadyRunning();
    // Launch, lookup done with the client running: polling runs, nothing sent yet.
    platform::RunningApplication startPollingClient();
    // The radio powers on and a central subscribes to the status; the log is cleared.
    void connectCentral();
    // A central listens and the client's meeting shows state at the next poll.
    void pollMeetingWithCentral(fakes::MeetingState state);

    // Every value handed to the platform for the subscribers since the log was cleared.
    Values sentValues() const;
    void postRequest();

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

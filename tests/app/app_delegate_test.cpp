
#include "app/app_delegate.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/icloud_identity.hpp"
#include "automation/script_library.hpp"
#include "fakes/fake_app_services.hpp"
#include "fakes/fake_main_queue.hpp"
#include "fakes/fake_peripheral_manager.hpp"
#include "fakes/fake_scripting_engine.hpp"
#include "fakes/fake_user_defaults.hpp"

namespace quorla::app {
namespace {

// Sent values read "update <hex>": E0, plus 10 active view, 08 connected, 02 mic, 01 camera.
using Log = std::vector<std::string>;
using platform::linux_::ClientState;
inline const std::string idleIcon = "icon circle.grid.2x2";
inline const std::string meetingIcon = "icon circle.grid.2x2.fill";

// The whole agent on fakes: a fresh session manager per test, the process-wide
// scripting engine (whose emulated client stands for the conferencing client) and defaults.
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

    // The application launches; the identity lookup stays pending.
    void launch() { application.run(*delegate); }
    // The lookup finds name and its continuation runs on the main queue.
    void completeIdentity() {
        cloudIdentity.complete(platform::UserRecordID{"abc"});
        mainQueue.drain();
    }
    // The client is running with no meeting before the agent starts.
    void clientAlreadyRunning() {
        workspace.running.push_back({77, "zoom.us"});
        fakes::FakeScriptingEngine::shared().setClient({});
    }
    // Launched with the client running and the lookup done: polling runs.
    void startPollingClient() {
        clientAlreadyRunning();
        launch();
        completeIdentity();
    }
    // The radio powers on and a central subscribes to the status; the log is cleared.
    void connectCentral() {
        peripheral->simulateState(platform::ManagerState::poweredOn);
        peripheral->simulateSubscribe(session.statusCharacteristic);
        log.clear();
    }
    // The client holds a meeting in this state.
    void showMeeting(ClientState state) {
        state.isInMeeting = true;
        fakes::FakeScriptingEngine::shared().setClient(state);
    }
    // A central listens and the client's meeting shows state at the next poll.
    void pollMeetingWithCentral(ClientState state) {
        connectCentral();
        showMeeting(state);
        mainQueue.advance(pollInterval);
    }
    // Torn down in reverse: the delegate, the queue and the pending lookup go first, letting
    // go of what they hold of the delegate while the fakes it calls are still there.
    fakes::FakeApplication application;
    fakes::FakeStatusBar statusBar;
    fakes::FakeWorkspace workspace;
    fakes::FakeUpdateFramework updates;
    fakes::LoggedConsole console;
    bluetooth::BluetoothSessionManager session;
    fakes::FakePeripheralManager* peripheral = nullptr;  // owned by session
    fakes::FakeCloudIdentity cloudIdentity;
    fakes::FakeMainQueue mainQueue;
    platform::linux_::EmulatedClient& client = fakes::FakeScriptingEngine::shared().client();
    fakes::CallLog& log = fakes::CallLog::shared();
    std::shared_ptr<AppDelegate> delegate;
};

// The client, launching during the lookup, is polled at once and again once it is done.
TEST_F(AppTest, LaunchRunsInOrderAndBluetoothWaitsForTheIdentity) {
    launch();
    EXPECT_EQ(log.entries(),
              (Log{"status item", idleIcon, "menu Check for Updates\xE2\x80\xA6 - Quit Quorla",
                   "updater created", "updater feed https://updates.quorla.app/quorla_appcast.xml",
                   "updater background check", "identity lookup iCloud.app.quorla.Quorla",
                   "workspace observe NSWorkspaceDidLaunchApplicationNotification",
                   "workspace observe NSWorkspaceDidTerminateApplicationNotification"}));

    log.clear();
    workspace.simulateLaunch("zoom.us");
    mainQueue.advance(platform::Seconds{1.0});
    cloudIdentity.complete(platform::UserRecordID{"abc"});
    EXPECT_EQ(log.entries(), (Log{idleIcon, "timer every 3s"}))
        << "the continuation belongs on the main queue";
    mainQueue.drain();
    EXPECT_EQ(log.entries(),
              (Log{idleIcon, "timer every 3s", "console found userID: abc",
                   "defaults set quorla.iCloudUserID=abc", "peripheral manager created",
                   "workspace scan", "timer invalidated", idleIcon, "timer every 3s"}));
}

// Bluetooth starts whatever the lookup's outcome; which name it publishes under is the
// session's test.
TEST_F(AppTest, AFailedLookupStillStartsBluetoothAndPolls) {
    clientAlreadyRunning();
    launch();
    log.clear();
    cloudIdentity.complete(std::nullopt, platform::CloudError{"No iCloud account."});
    mainQueue.drain();
    EXPECT_EQ(log.entries(), (Log{"console No iCloud account.", "peripheral manager created",
                                  "workspace scan", idleIcon, "timer every 3s"}));
}

// Only a name found is printed and stored. A record that comes with an error is dropped, so
// the continuation never sees a name that was neither printed nor stored.
TEST_F(AppTest, OnlyAFoundNameIsStoredAndOnlyTheErrorOfAFailedLookupReachesTheContinuation) {
    const struct {
        std::optional<platform::UserRecordID> recordID;
        std::optional<platform::CloudError> error;
        Log logged;
    } lookups[] = {
        {platform::UserRecordID{"xyz"},
         platform::CloudError{"No account."},
         {"console No account.", "no record, No account."}},
        {platform::UserRecordID{""}, std::nullopt, {"a record, no error"}},
        {std::nullopt, std::nullopt, {"no record, no error"}},
    };
    for (const auto& lookup : lookups) {
        fetchICloudUserID(
            cloudIdentity, mainQueue, fakes::FakeUserDefaults::shared(), console,
            [](auto recordID, auto error) {
                fakes::CallLog::shared().add((recordID ? "a record, " : "no record, ") +
                                             (error ? error->localizedDescription : "no error"));
            });
        log.clear();
        cloudIdentity.complete(lookup.recordID, lookup.error);
        mainQueue.drain();
        EXPECT_EQ(log.entries(), lookup.logged);
    }
}

TEST_F(AppTest, EachMenuCommandReachesItsHandlerAndQuitTearsDownOnceReleased) {
    startPollingClient();
    pollMeetingWithCentral({.isMicOn = true});
    log.clear();
    statusBar.simulateMenuSelection("Check for Updates\xE2\x80\xA6");
    EXPECT_EQ(log.entries(), Log{"updater user check"});

    // Only the timer's block keeps the delegate now.
    std::weak_ptr<AppDelegate> weakDelegate = delegate;
    delegate.reset();
    log.clear();
    statusBar.simulateMenuSelection("Quit Quorla");
    EXPECT_TRUE(weakDelegate.expired()) << "the stopped timer was the last owner";
    // One value from termination, one from teardown; the microphone as last polled.
    EXPECT_EQ(log.entries(), (Log{"application terminate", "timer invalidated", "update E2",
                                  idleIcon, "update E2", idleIcon}));
    EXPECT_EQ(workspace.observerCount, 0);
}

// With neither, only a crash would show: the menu command and the polls must still run.
TEST_F(AppTest, WithoutAnUpdaterOrAButtonTheRestStillWorks) {
    updates.isAvailable = false;
    statusBar.itemsHaveButton = false;
    startPollingClient();
    statusBar.simulateMenuSelection("Check for Updates\xE2\x80\xA6");
    pollMeetingWithCentral({});
    EXPECT_EQ(log.startingWith("update"), Log{"update E8"});
}

// Polling starts for an application named exactly like the client, and ends when the last
// instance of it quits.
TEST_F(AppTest, OnlyTheClientNamedExactlyIsPolledUntilItsLastInstanceQuits) {
    launch();
    completeIdentity();
    connectCentral();
    showMeeting({.isMicOn = true});
    for (const auto& name : std::vector<std::optional<std::string>>{
             "Zoom.us", "ZOOM.US", "zoom.us ", " zoom.us", "zoom", "zoom.us.app", "", std::nullopt})
        workspace.simulateLaunch(name);
    workspace.post({platform::workspaceDidLaunchApplicationNotification, {}});  // malformed
    EXPECT_FALSE(delegate->isClientRunning());
    EXPECT_EQ(mainQueue.activeTimers(), 0u);

    const auto first = workspace.simulateLaunch("zoom.us");
    const auto second = workspace.simulateLaunch("zoom.us");
    workspace.simulateTerminate(workspace.running.front());  // another application quits
    mainQueue.advance(pollInterval);
    log.clear();
    workspace.simulateTerminate(first);  // still listed while its termination is delivered
    client.toggleMic();
    mainQueue.advance(pollInterval);
    EXPECT_EQ(log.startingWith("update"), Log{"update E8"}) << "the meeting is still heard";
    log.clear();
    client.quit();
    workspace.simulateTerminate(second);
    EXPECT_EQ(mainQueue.activeTimers(), 0u);
    EXPECT_EQ(log.startingWith("update"), Log{"update E0"});
}

TEST_F(AppTest, APollSendsWhenAnyOneFlagChangedAndOnlyThen) {
    startPollingClient();
    connectCentral();
    const std::pair<ClientState, Log> polls[] = {
        {{}, {"checkStatus ran", meetingIcon, "update E8"}},
        {{}, {"checkStatus ran"}},
        {{.isMicOn = true}, {"checkStatus ran", "update EA"}},
        {{.isMicOn = true, .isCameraOn = true}, {"checkStatus ran", "update EB"}},
        {{.isCameraOn = true}, {"checkStatus ran", "update E9"}},
        {{.isCameraOn = true, .isActiveSelected = true}, {"checkStatus ran", "update F9"}},
        {{.isCameraOn = true}, {"checkStatus ran", "update E9"}},
    };
    for (const auto& [state, expected] : polls) {
        log.clear();
        showMeeting(state);
        mainQueue.advance(pollInterval);
        EXPECT_EQ(log.entries(), expected);
    }
    log.clear();
    client.quit();  // and the workspace has not told yet
    mainQueue.advance(pollInterval);
    EXPECT_EQ(log.entries(), (Log{"checkStatus ran", idleIcon, "update E0"}));
}

TEST_F(AppTest, EachRequestIsAnsweredThenPolledAndForcesTheNextSend) {
    startPollingClient();
    pollMeetingWithCentral({});
    log.clear();
    const auto to = [](const platform::CharacteristicRef& characteristic) {
        return fakes::FakePeripheralManager::Write{characteristic, platform::Bytes{'1'}};
    };
    peripheral->simulateWrites({to(session.micRequestCharacteristic)});
    mainQueue.advance(pollInterval);
    mainQueue.advance(pollInterval);
    EXPECT_EQ(log.entries(), (Log{"script ran", "respond #1", "checkStatus ran", "update EA",
                                  "checkStatus ran", "update EA", "checkStatus ran"}));
    log.clear();
    const auto view = to(session.activeRequestCharacteristic);
    peripheral->simulateWrites({view, view, view});
    EXPECT_EQ(mainQueue.pendingWork(), 3u) << "polls wait for the answers";
    mainQueue.advance(pollInterval);
    // Three switches leave the speaker view on; after the change, each poll is forced by
    // the request poll before it, the timer's included.
    EXPECT_EQ(log.startingWith("update"), Log(4, "update FA"));
}

}  // namespace
}  // namespace quorla::app

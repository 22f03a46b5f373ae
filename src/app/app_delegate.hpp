#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string_view>

#include "bluetooth/bluetooth_session_manager.hpp"
#include "platform/application.hpp"
#include "platform/cloud_identity.hpp"
#include "platform/main_queue.hpp"
#include "platform/notification_center.hpp"
#include "platform/peripheral.hpp"
#include "platform/status_bar.hpp"
#include "platform/updater.hpp"
#include "platform/workspace.hpp"

namespace quorla::app {

inline constexpr platform::Seconds pollInterval{3.0};
inline constexpr std::string_view idleSymbolName = "circle.grid.2x2";
inline constexpr std::string_view meetingSymbolName = "circle.grid.2x2.fill";
inline constexpr std::string_view updateFeedURL = "https://updates.quorla.app/quorla_appcast.xml";

// Starts every subsystem in a fixed order, keeps the status-bar item, polls the client's
// meeting state while the client runs and keeps the companions' status value current.
//
// Hold it in a std::shared_ptr: observers and menu actions reach it through weak
// references, the poll timer and the identity continuation through strong ones. While
// polling runs the timer keeps it alive; teardown runs once polling has stopped and the
// last owner lets go. Everything runs on the main thread.
class AppDelegate final : public platform::ApplicationDelegate,
                          public std::enable_shared_from_this<AppDelegate> {
  public:
    // All of these must outlive the delegate.
    struct Platform {
        platform::Application& application;
        platform::MainQueue& mainQueue;
        platform::StatusBar& statusBar;
        platform::Workspace& workspace;
        platform::CloudIdentity& cloudIdentity;
        // Where write-request handling posts "request".
        platform::NotificationCenter& notificationCenter;
        // Answers none when the update framework cannot be loaded.
        std::function<std::unique_ptr<platform::Updater>()> makeUpdater;
        std::function<std::unique_ptr<platform::PeripheralManager>(
            platform::PeripheralManagerDelegate&)>
            makePeripheralManager;
        std::ostream& console;
    };

    AppDelegate(Platform services, bluetooth::BluetoothSessionManager& session);
    ~AppDelegate() override;

    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    void applicationDidFinishLaunching() override;
    void applicationWillTerminate() override;

    // The identity lookup's continuation: Bluetooth starts only once the record name of
    // this launch is stored, so the first service already carries it.
    void startBluetoothSession();

    void checkForUpdates();
    void updateStatusIcon(bool isConnected);

    // Restarts polling: the companions hear the connected flag cleared, and the first
    // poll comes one interval later.
    void startPolling();
    // Ends polling, clears the connected flag, sends it and shows the idle icon.
    void stopPolling();
    void pollStatus();

    bool isClientRunning() const;

  private:
    void buildMenu();
    void setStatusIcon(std::string_view symbolName);
    void observeRequests();
    void observeWorkspace();
    void handleRequestNotification();
    void handleWorkspaceNotification(
        const platform::Notification& notification,
        void (AppDelegate::*action)(const platform::RunningApplication& client));
    void clientDidLaunch(const platform::RunningApplication& client);
    void clientDidTerminate(const platform::RunningApplication& client);
    bool isClientRunningOtherThan(std::optional<std::int64_t> processIdentifier) const;

    Platform platform_;
    bluetooth::BluetoothSessionManager& session_;

    std::unique_ptr<platform::StatusItem> statusBarItem;
    std::unique_ptr<platform::Updater> updater;
    std::optional<platform::NotificationCenter::ObserverToken> requestObserver;
    std::optional<platform::Workspace::ObserverToken> didLaunchApplicationObserver;
    std::optional<platform::Workspace::ObserverToken> didTerminateApplicationObserver;
    std::unique_ptr<platform::Timer> timer;
    // A request-triggered poll has just run: the next poll sends even without a change,
    // so a companion that acted on its request hears the client's actual state once more.
    bool wasLastUpdateFromChange = false;
};

}  // namespace quorla::app

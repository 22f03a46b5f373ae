#include "app/app_delegate.hpp"

#include <utility>

#include "app/icloud_identity.hpp"
#include "platform/user_defaults.hpp"
#include "protocol/request_notification.hpp"

namespace quorla::app {

AppDelegate::AppDelegate(Platform services, bluetooth::BluetoothSessionManager& session)
    : platform_(std::move(services)), session_(session) {}

AppDelegate::~AppDelegate() {
    stopPolling();
    if (requestObserver) {
        platform_.notificationCenter.removeObserver(*requestObserver);
        requestObserver.reset();
    }
    if (didLaunchApplicationObserver) {
        platform_.workspace.removeObserver(*didLaunchApplicationObserver);
        didLaunchApplicationObserver.reset();
    }
    if (didTerminateApplicationObserver) {
        platform_.workspace.removeObserver(*didTerminateApplicationObserver);
        didTerminateApplicationObserver.reset();
    }
}

void AppDelegate::applicationDidFinishLaunching() {
    statusBarItem = platform_.statusBar.makeVariableLengthItem();
    setStatusIcon(idleSymbolName);
    buildMenu();

    updater = platform_.makeUpdater();
    if (updater) {
        updater->setFeedURL(std::string(updateFeedURL));
        updater->checkForUpdatesInBackground();
    }

    // Launch does not wait for the lookup. The name goes where the Bluetooth link reads
    // it, and the session starts whatever the lookup's outcome.
    fetchICloudUserID(platform_.cloudIdentity, platform_.mainQueue,
                      platform::standardUserDefaults(), platform_.console,
                      [self = shared_from_this()](auto, auto) { self->startBluetoothSession(); });

    observeRequests();
    observeWorkspace();
}

void AppDelegate::applicationWillTerminate() {
    stopPolling();
}

void AppDelegate::startBluetoothSession() {
    session_.peripheralManager = platform_.makePeripheralManager(session_);
    if (isClientRunning())
        startPolling();
}

void AppDelegate::observeRequests() {
    requestObserver = platform_.notificationCenter.addObserver(
        protocol::requestNotificationName, [weakSelf = weak_from_this()](const auto&) {
            if (auto self = weakSelf.lock())
                self->handleRequestNotification();
        });
}

void AppDelegate::observeWorkspace() {
    auto observe = [this](const std::string& name, auto action) {
        return platform_.workspace.addObserver(
            name, [weakSelf = weak_from_this(), action](const platform::Notification& note) {
                if (auto self = weakSelf.lock())
                    self->handleWorkspaceNotification(note, action);
            });
    };
    didLaunchApplicationObserver =
        observe(platform::workspaceDidLaunchApplicationNotification, &AppDelegate::clientDidLaunch);
    didTerminateApplicationObserver = observe(
        platform::workspaceDidTerminateApplicationNotification, &AppDelegate::clientDidTerminate);
}

}  // namespace quorla::app

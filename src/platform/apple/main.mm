#if !__has_feature(objc_arc)
#error "Build with -fobjc-arc"
#endif

// The macOS entry only wires: the Apple adapters into the application delegate, then
// NSApplicationMain.

#include <iostream>
#include <memory>

#include "app/app_delegate.hpp"
#include "bluetooth/bluetooth_session_manager.hpp"
#include "platform/apple/apple_platform.hpp"
#include "platform/notification_center.hpp"

int main(int argc, const char* argv[]) {
    using namespace quorla;
    namespace apple = platform::apple;

    apple::requestAccessibilityTrust();

    const auto application = apple::makeApplication(argc, argv, std::cout);
    const auto mainQueue = apple::makeDispatchMainQueue();
    const auto statusBar = apple::makeSystemStatusBar();
    const auto workspace = apple::makeSharedWorkspace();
    const auto cloudIdentity = apple::makeCloudKitIdentity();

    const auto delegate = std::make_shared<app::AppDelegate>(
        app::AppDelegate::Platform{
            .application = *application,
            .mainQueue = *mainQueue,
            .statusBar = *statusBar,
            .workspace = *workspace,
            .cloudIdentity = *cloudIdentity,
            .notificationCenter = platform::NotificationCenter::defaultCenter(),
            .makeUpdater = &apple::makeSparkleUpdater,
            .makePeripheralManager =
                [&application = *application](platform::PeripheralManagerDelegate& delegate) {
                    return apple::makeCoreBluetoothPeripheralManager(delegate, application);
                },
            .console = std::cout,
        },
        bluetooth::BluetoothSessionManager::shared());
    return application->run(*delegate);
}

#pragma once

#include <memory>

#include "platform/application.hpp"
#include "platform/cloud_identity.hpp"
#include "platform/main_queue.hpp"
#include "platform/peripheral.hpp"
#include "platform/status_bar.hpp"
#include "platform/updater.hpp"
#include "platform/workspace.hpp"

// The macOS adapters as the entry wires them. Plain C++ on purpose: the Objective-C stays
// inside the .mm files, so nothing that includes this needs an Objective-C compiler.
namespace quorla::platform::apple {

// CoreBluetooth's peripheral role, delivering its callbacks on the main queue.
std::unique_ptr<PeripheralManager> makeCoreBluetoothPeripheralManager(
    PeripheralManagerDelegate& delegate);
// The main dispatch queue, with timers on the main run loop in the common modes.
std::unique_ptr<MainQueue> makeDispatchMainQueue();
std::unique_ptr<StatusBar> makeSystemStatusBar();
std::unique_ptr<Workspace> makeSharedWorkspace();
std::unique_ptr<CloudIdentity> makeCloudKitIdentity();
// Sparkle's standard updater; none when Sparkle.framework is not in the bundle.
std::unique_ptr<Updater> makeSparkleUpdater();
// NSApplicationMain with argc and argv, which must outlive run().
std::unique_ptr<Application> makeApplication(int argc, const char** argv);

// System Events keystrokes and menu reading need the Accessibility permission: shows the
// system's prompt when the process is not trusted yet, and returns at once.
void requestAccessibilityTrust();

}  // namespace quorla::platform::apple

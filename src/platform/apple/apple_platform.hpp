#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>

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

// AppKit's application, which holds the process's exit briefly for work that must be over
// first, as the Linux event loop does with its exit tasks.
class AppKitApplication : public Application {
  public:
    // Starts once the delegate has heard applicationWillTerminate and calls finished when
    // done. AppKit is let go when every hold has finished, or terminationDeadline after
    // they started.
    using TerminationHold = std::function<void(std::function<void()> finished)>;
    static constexpr std::chrono::milliseconds terminationDeadline{1000};

    virtual std::uint64_t addTerminationHold(TerminationHold hold) = 0;
    virtual void removeTerminationHold(std::uint64_t id) = 0;
};

// CoreBluetooth's peripheral role, delivering its callbacks on the main queue. Holds the
// application's exit while a central may still have to hear the last value.
std::unique_ptr<PeripheralManager> makeCoreBluetoothPeripheralManager(
    PeripheralManagerDelegate& delegate, AppKitApplication& application);
// The main dispatch queue, with timers on the main run loop in the common modes.
std::unique_ptr<MainQueue> makeDispatchMainQueue();
std::unique_ptr<StatusBar> makeSystemStatusBar();
std::unique_ptr<Workspace> makeSharedWorkspace();
std::unique_ptr<CloudIdentity> makeCloudKitIdentity();
// Sparkle's standard updater; none when Sparkle.framework is not in the bundle.
std::unique_ptr<Updater> makeSparkleUpdater();
// NSApplicationMain with argc and argv, which must outlive run(). Says on console how a
// quit goes.
std::unique_ptr<AppKitApplication> makeApplication(int argc, const char** argv,
                                                   std::ostream& console);

// System Events keystrokes and menu reading need the Accessibility permission: shows the
// system's prompt when the process is not trusted yet, and returns at once.
void requestAccessibilityTrust();

}  // namespace quorla::platform::apple

// The quorla program: builds the Linux platform, hands it to the application delegate
// and runs the loop. Every decision is the core's.
#include <unistd.h>

#include <iostream>
#include <memory>
#include <string_view>
#include <vector>

#include "app/app_delegate.hpp"
#include "bluetooth/bluetooth_session_manager.hpp"
#include "bluetooth/identifiers.hpp"
#include "platform/linux/agent/console.hpp"
#include "platform/linux/agent/options.hpp"
#include "platform/linux/agent/program_services.hpp"
#include "platform/linux/agent/request_trace.hpp"
#include "platform/linux/agent/settings_file.hpp"
#include "platform/linux/bus/bus_calls.hpp"
#include "platform/linux/bus/event_loop.hpp"
#include "platform/linux/emulation/command_line_identity.hpp"
#include "platform/linux/emulation/emulated_client.hpp"
#include "platform/linux/emulation/traced_status_bar.hpp"
#include "platform/linux/pairing/pairing_policy.hpp"
#include "platform/linux/peripheral/bluez_peripheral.hpp"
#include "platform/notification_center.hpp"

namespace {

using namespace quorla;
using namespace quorla::platform::linux_;

int runAgent(const Options& options) {
    // Without a system bus the agent has nowhere to publish: it says so in one line, before
    // anything else is traced, so that whoever starts it can tell why it ended.
    openSystemBus();
    // Identity lines are read by whoever starts the agent, often through a pipe.
    std::cout << std::unitbuf;
    // Never destroyed: whatever the core still traces on the way out finds it.
    static auto* const traceLines = new LineWriter(STDERR_FILENO);
    static auto* const traceStream = new std::ostream(traceLines);
    auto& trace = *traceStream;
    auto& session = bluetooth::BluetoothSessionManager::shared();
    auto& notificationCenter = platform::NotificationCenter::defaultCenter();

    // Declared before the loop, so they outlive whatever its queue still holds at the end
    // (the identity continuation keeps the delegate, which uses them, alive).
    SettingsFile settings(SettingsFile::defaultPath(), trace);
    if (options.isPairingRequired)
        settings.setBool(bluetooth::requirePairingDefaultsKey, *options.isPairingRequired);
    EmulatedClient client(options.client, trace);
    useProgramServices(client, settings);
    TracedStatusBar statusBar(trace);
    RequestTrace requestTrace(notificationCenter, trace);
    EventLoop loop;
    // Its thread hands its answer to the loop, so it is joined while the loop still exists.
    CommandLineIdentity identity(options.recordName);
    BluezPeripheralManager* peripheral = nullptr;
    PairingPolicy pairing(
        loop, settings.boolForKey(bluetooth::requirePairingDefaultsKey),
        [&] { return peripheral ? peripheral->adapterInUse() : std::nullopt; }, trace);
    Console console(
        loop.event(), STDIN_FILENO,
        {client,
         loop,
         statusBar,
         session,
         {[&](bool isAccepted) { pairing.answer(isAccepted); }, [&] { pairing.listPaired(); },
          [&](std::string_view address) { pairing.unpair(address); }}},
        trace);

    auto delegate = std::make_shared<app::AppDelegate>(
        app::AppDelegate::Platform{
            .application = loop,
            .mainQueue = loop,
            .statusBar = statusBar,
            .workspace = client,
            .cloudIdentity = identity,
            .notificationCenter = notificationCenter,
            .makeUpdater = [] { return std::unique_ptr<platform::Updater>(); },
            .makePeripheralManager =
                [&](platform::PeripheralManagerDelegate& peripheralDelegate) {
                    auto made = std::make_unique<BluezPeripheralManager>(
                        loop, peripheralDelegate, options.adapterName, trace);
                    peripheral = made.get();
                    return made;
                },
            .console = std::cout,
        },
        session);
    return loop.run(*delegate);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    try {
        options = parseOptions(std::vector<std::string_view>(argv + 1, argv + argc));
    } catch (const OptionError& error) {
        std::cerr << "quorla: " << error.what() << "\nTry 'quorla --help' for the options.\n";
        return 2;
    }
    if (options.isHelpRequested) {
        std::cout << helpText();
        return 0;
    }
    try {
        return runAgent(options);
    } catch (const std::exception& error) {
        std::cerr << "quorla: " << error.what() << '\n';
        return 1;
    }
}

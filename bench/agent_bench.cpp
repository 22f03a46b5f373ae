// The agent's two hot paths, each timed 1,000 times on the whole agent in one process, with
// the emulated client and the mock BlueZ on a private bus:
//   poll     one status poll: the "checkStatus" handler run against the client's menus
//   request  a WriteValue on the microphone characteristic, sent as bluetoothd would, until
//            the status notification (PropertiesChanged on Value) that follows it
#include <systemd/sd-bus.h>

#include <algorithm>
#include <chrono>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/app_delegate.hpp"
#include "bluetooth/bluetooth_session_manager.hpp"
#include "bluetooth/identifiers.hpp"
#include "bluez/harness/mock_bluez.hpp"
#include "bluez/harness/private_bus.hpp"
#include "linux/temporary_folder.hpp"
#include "platform/linux/bluez_peripheral.hpp"
#include "platform/linux/command_line_identity.hpp"
#include "platform/linux/emulated_client.hpp"
#include "platform/linux/event_loop.hpp"
#include "platform/linux/program_services.hpp"
#include "platform/linux/settings_file.hpp"
#include "platform/linux/traced_status_bar.hpp"

namespace {

using namespace quorla;
using namespace quorla::platform::linux_;
using Clock = std::chrono::steady_clock;

constexpr int rounds = 1000;

double medianMicroseconds(std::vector<Clock::duration> samples) {
    std::sort(samples.begin(), samples.end());
    return std::chrono::duration<double, std::micro>(samples[samples.size() / 2]).count();
}

std::string lowercased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

struct Watch {
    Clock::time_point notifiedAt;
    bool isNotified = false;
    bool isAnswered = false;
};

int onPropertiesChanged(sd_bus_message*, void* watch, sd_bus_error*) {
    auto* self = static_cast<Watch*>(watch);
    self->notifiedAt = Clock::now();
    self->isNotified = true;
    return 0;
}

int onWriteAnswered(sd_bus_message* reply, void* watch, sd_bus_error*) {
    if (sd_bus_message_is_method_error(reply, nullptr))
        std::cerr << "WriteValue failed: " << sd_bus_message_get_error(reply)->message << '\n';
    static_cast<Watch*>(watch)->isAnswered = true;
    return 0;
}

}  // namespace

int main() {
    quorla::testing::TemporaryFolder folder;
    quorla::testing::PrivateBus bus;
    EventLoop loop;
    quorla::testing::MockBluez mock(bus, loop.event());
    mock.addAdapter("hci0");

    std::ostream discard(nullptr);
    SettingsFile settings(folder.path() / "settings.json", discard);
    EmulatedClient client({.isInMeeting = true}, discard);
    useProgramServices(client, settings);
    TracedStatusBar statusBar(discard);
    CommandLineIdentity identity("bench");
    auto& session = bluetooth::BluetoothSessionManager::shared();
    auto delegate = std::make_shared<app::AppDelegate>(
        app::AppDelegate::Platform{loop, loop, statusBar, client, identity,
                                   platform::NotificationCenter::defaultCenter(),
                                   [] { return std::unique_ptr<platform::Updater>(); },
                                   [&](platform::PeripheralManagerDelegate& peripheralDelegate) {
                                       return std::make_unique<BluezPeripheralManager>(
                                           loop, peripheralDelegate, std::nullopt, discard);
                                   },
                                   discard},
        session);
    delegate->applicationDidFinishLaunching();
    nlohmann::json state;
    mock.runUntil(
        [&] {
            state = mock.state();
            return !state["advertisements"].empty();
        },
        std::chrono::seconds(10));
    mock.startNotify(bluetooth::statusCharacteristicUUID().toString());

    std::vector<Clock::duration> polls;
    for (int round = 0; round < rounds; ++round) {
        const auto start = Clock::now();
        delegate->pollStatus();
        polls.push_back(Clock::now() - start);
    }

    // A poll that learned nothing would be fast for the wrong reason.
    if (session.statusByte() != 0xE8) {
        std::cerr << "the polls did not find the meeting\n";
        return 1;
    }

    // The central's side, talking to the agent directly as bluetoothd does.
    const auto& application = state["applications"][0];
    std::string micPath;
    for (const auto& characteristic : application["services"][0]["characteristics"]) {
        if (characteristic["uuid"] ==
            lowercased(bluetooth::micRequestCharacteristicUUID().toString()))
            micPath = characteristic["path"];
    }
    const std::string agent = application["sender"];
    sd_bus* central = nullptr;
    check(sd_bus_open_system(&central), "sd_bus_open_system");
    BusOwner centralOwner(central);
    check(sd_bus_attach_event(central, loop.event(), 0), "sd_bus_attach_event");
    Watch watch;
    const std::string match = "type='signal',sender='" + agent +
                              "',interface='org.freedesktop.DBus.Properties',"
                              "member='PropertiesChanged',arg0='org.bluez.GattCharacteristic1'";
    check(sd_bus_add_match(central, nullptr, match.c_str(), &onPropertiesChanged, &watch),
          "sd_bus_add_match");

    std::vector<Clock::duration> requests;
    for (int round = 0; round < rounds; ++round) {
        sd_bus_message* call = nullptr;
        check(sd_bus_message_new_method_call(central, &call, agent.c_str(), micPath.c_str(),
                                             "org.bluez.GattCharacteristic1", "WriteValue"),
              "sd_bus_message_new_method_call");
        MessageOwner callOwner(call);
        const std::uint8_t one = '1';
        check(sd_bus_message_append_array(call, 'y', &one, 1), "append value");
        check(sd_bus_message_append(call, "a{sv}", 1, "type", "s", "command"), "append options");
        watch = {};
        const auto start = Clock::now();
        check(sd_bus_call_async(central, nullptr, call, &onWriteAnswered, &watch, 0),
              "sd_bus_call_async");
        mock.runUntil([&] { return watch.isNotified && watch.isAnswered; });
        requests.push_back(watch.notifiedAt - start);
    }
    if (client.state().isMicOn != (rounds % 2 == 1)) {
        std::cerr << "the requests did not all reach the client\n";
        return 1;
    }

    std::cout << "poll (checkStatus on the emulated client), median of " << rounds << ": "
              << medianMicroseconds(polls) << " us\n"
              << "request (WriteValue to the status notification), median of " << rounds << ": "
              << medianMicroseconds(requests) << " us\n";
    return 0;
}

// How long the BlueZ adapter and the core take per request, on a private bus with the mock
// BlueZ. The central here is a bus connection of the bench's own, calling the agent's
// characteristic objects as bluetoothd would, so the Python mock stays out of the figures.
// A Peer.Ping to the agent measures the bus's own round trip; WriteValue minus that is the
// share of the adapter and the core.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <vector>

#include "bluetooth/bluetooth_session_manager.hpp"
#include "bluetooth/identifiers.hpp"
#include "bluez/harness/mock_bluez.hpp"
#include "bluez/harness/private_bus.hpp"
#include "fakes/fake_scripting_engine.hpp"
#include "fakes/fake_user_defaults.hpp"
#include "platform/linux/bluez_peripheral.hpp"

namespace {

using namespace quorla;
using platform::linux_::check;
using Clock = std::chrono::steady_clock;
constexpr int rounds = 1000;

std::string lowerUuid(const platform::Uuid& uuid) {
    auto text = uuid.toString();
    for (auto& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

struct Figures {
    std::vector<double> micros;
    void add(Clock::duration elapsed) {
        micros.push_back(std::chrono::duration<double, std::micro>(elapsed).count());
    }
    void print(const char* what) {
        std::sort(micros.begin(), micros.end());
        std::printf("%-44s median %7.1f us   p90 %7.1f us   (%zu samples)\n", what,
                    micros[micros.size() / 2], micros[micros.size() * 9 / 10], micros.size());
    }
};

// Runs the loop until done is set; the reply handler sets it.
void serve(sd_event* event, const bool& done) {
    while (!done)
        check(sd_event_run(event, 1'000'000), "sd_event_run");
}

int onReply(sd_bus_message* reply, void* userdata, sd_bus_error*) {
    if (sd_bus_message_is_method_error(reply, nullptr))
        std::fprintf(stderr, "error: %s\n", sd_bus_message_get_error(reply)->name);
    *static_cast<bool*>(userdata) = true;
    return 0;
}

Figures measureCalls(sd_bus* central, sd_event* event, const std::string& agent,
                     const std::string& path, bool isWrite) {
    Figures figures;
    for (int i = 0; i < rounds; ++i) {
        sd_bus_message* call = nullptr;
        check(sd_bus_message_new_method_call(
                  central, &call, agent.c_str(), path.c_str(),
                  isWrite ? "org.bluez.GattCharacteristic1" : "org.freedesktop.DBus.Peer",
                  isWrite ? "WriteValue" : "Ping"),
              "sd_bus_message_new_method_call");
        platform::linux_::MessageOwner owner(call);
        if (isWrite)
            check(sd_bus_message_append(call, "aya{sv}", 1, '1', 1, "type", "s", "command"),
                  "sd_bus_message_append");
        bool done = false;
        const auto start = Clock::now();
        check(sd_bus_call_async(central, nullptr, call, &onReply, &done, 0), "sd_bus_call_async");
        serve(event, done);
        figures.add(Clock::now() - start);
    }
    return figures;
}

int onValueChanged(sd_bus_message*, void* userdata, sd_bus_error*) {
    ++*static_cast<int*>(userdata);
    return 0;
}

}  // namespace

int main() {
    testing::PrivateBus bus;
    platform::linux_::EventLoop loop;
    testing::MockBluez mock(bus, loop.event());
    std::ostringstream trace;
    fakes::FakeUserDefaults::shared().setString(bluetooth::iCloudUserIDDefaultsKey, "_bench");
    auto& core = bluetooth::BluetoothSessionManager::shared();
    core.peripheralManager =
        std::make_unique<platform::linux_::BluezPeripheralManager>(loop, core, std::nullopt, trace);
    mock.addAdapter("hci0");
    mock.runUntil([&] { return mock.state()["applications"].size() == 1; });
    const auto status = lowerUuid(bluetooth::statusCharacteristicUUID());
    const auto mic = lowerUuid(bluetooth::micRequestCharacteristicUUID());
    mock.startNotify(status);

    const auto application = mock.state()["applications"][0];
    const std::string agent = application["sender"];
    std::string statusPath, micPath;
    for (const auto& characteristic : application["services"][0]["characteristics"]) {
        if (characteristic["uuid"] == status)
            statusPath = characteristic["path"];
        if (characteristic["uuid"] == mic)
            micPath = characteristic["path"];
    }

    sd_bus* central = nullptr;
    check(sd_bus_open_system(&central), "sd_bus_open_system");
    platform::linux_::BusOwner centralOwner(central);
    check(sd_bus_attach_event(central, loop.event(), 0), "sd_bus_attach_event");
    int changes = 0;
    check(sd_bus_match_signal(central, nullptr, agent.c_str(), statusPath.c_str(),
                              "org.freedesktop.DBus.Properties", "PropertiesChanged",
                              &onValueChanged, &changes),
          "sd_bus_match_signal");

    auto ping = measureCalls(central, loop.event(), agent, micPath, false);
    auto write = measureCalls(central, loop.event(), agent, micPath, true);

    Figures notification;
    for (int i = 0; i < rounds; ++i) {
        core.isMicActive = !core.isMicActive;
        const int before = changes;
        const auto start = Clock::now();
        core.pushStatus();
        while (changes == before)
            check(sd_event_run(loop.event(), 1'000'000), "sd_event_run");
        notification.add(Clock::now() - start);
    }

    ping.print("Peer.Ping round trip (the bus alone)");
    write.print("WriteValue -> reply");
    notification.print("status change -> PropertiesChanged received");
    std::printf("adapter and core share of a write: %.1f us (median difference)\n",
                write.micros[rounds / 2] - ping.micros[rounds / 2]);
    std::printf("writes carried out by the core: %zu of %d\n",
                fakes::FakeScriptingEngine::shared().executedSources.size(), rounds);
    core.peripheralManager.reset();
    return 0;
}

// bluetoothd's part in bench/native.sh, on a private bus: it owns org.bluez with one powered
// adapter, hci0, accepts the application and the advertisement a peripheral registers, reads
// the application's objects, subscribes to its status characteristic, and then writes to its
// microphone characteristic as bluetoothd forwards a Write Command (WriteValue with no reply
// expected), "1" and "0" in turn, each once the previous one's notification has arrived.
//
//   bluez-standin REQUESTS
//
// Prints "done: N requests in S s" after the last one and keeps serving until SIGTERM, so
// that the peripheral can still leave BlueZ the way it does on quit.
#include <signal.h>
#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>

#include "bluetooth/gatt_layout.hpp"
#include "bluetooth/requests.hpp"
#include "bluetooth/status_byte.hpp"
#include "platform/linux/bus/bluez_names.hpp"
#include "platform/linux/bus/bus_calls.hpp"
#include "platform/linux/bus/bus_messages.hpp"
#include "platform/linux/bus/entry_guard.hpp"

// Whatever fails ends it (guardWork), since a figure taken past a failure would be wrong.
namespace {

using namespace quorla::platform::linux_;
namespace bluetooth = quorla::bluetooth;

constexpr const char* adapterPath = "/org/bluez/hci0";
// Who wrote, as bluetoothd names it in each WriteValue.
constexpr const char* devicePath = "/org/bluez/hci0/dev_00_AA_01_01_00_01";

struct Standin {
    sd_bus* bus = nullptr;
    long requests = 0;
    long done = 0;
    std::string peripheral;  // the unique name that registered the application
    std::string applicationPath;
    std::string statusPath;
    std::string micPath;
    SlotOwner pending{};
    SlotOwner notifications{};
    std::chrono::steady_clock::time_point started{};
};

Standin standin;

bool wantsMicOn() {
    return standin.done % 2 == 0;
}

void write() {
    auto call = newMethodCall(standin.bus, standin.peripheral.c_str(), standin.micPath.c_str(),
                              bluez::gattCharacteristicInterface, "WriteValue");
    const auto value = bluetooth::switchValue(wantsMicOn());
    check(sd_bus_message_append_array(call.get(), 'y', value.data(), value.size()),
          "sd_bus_message_append_array");
    check(sd_bus_message_append(call.get(), "a{sv}", 3, "device", "o", devicePath, "link", "s",
                                "LE", "mtu", "q", 65),
          "sd_bus_message_append");
    check(sd_bus_message_set_expect_reply(call.get(), 0), "sd_bus_message_set_expect_reply");
    check(sd_bus_send(standin.bus, call.get(), nullptr), "sd_bus_send");
}

void finish() {
    const std::chrono::duration<double> elapsed =
        std::chrono::steady_clock::now() - standin.started;
    std::printf("done: %ld requests in %.3f s\n", standin.done, elapsed.count());
    std::fflush(stdout);
}

// Each notification that shows the microphone as last asked for answers that write.
int onPropertiesChanged(sd_bus_message* message, void*, sd_bus_error*) {
    guardWork([&] {
        if (readString(message) != bluez::gattCharacteristicInterface ||
            standin.done >= standin.requests)
            return;
        std::optional<std::uint8_t> status;
        readProperties(message, {{"Value", "ay", [&] {
                                      const void* bytes = nullptr;
                                      std::size_t size = 0;
                                      check(sd_bus_message_read_array(message, 'y', &bytes, &size),
                                            "sd_bus_message_read_array");
                                      if (size == 1)
                                          status = *static_cast<const std::uint8_t*>(bytes);
                                  }}});
        const auto flags = status ? bluetooth::decodeStatus(*status) : std::nullopt;
        if (!flags || flags->isMicActive != wantsMicOn())
            return;
        if (++standin.done == standin.requests)
            finish();
        else
            write();
    });
    return 0;
}

int onSubscribed(sd_bus_message* reply, void*, sd_bus_error*) {
    standin.pending.reset();
    guardWork([&] {
        if (sd_bus_message_is_method_error(reply, nullptr))
            throw std::runtime_error("StartNotify failed: " + errorText(reply));
        standin.started = std::chrono::steady_clock::now();
        write();
    });
    return 0;
}

int onObjects(sd_bus_message* reply, void*, sd_bus_error*) {
    standin.pending.reset();
    guardWork([&] {
        if (sd_bus_message_is_method_error(reply, nullptr))
            throw std::runtime_error("GetManagedObjects failed: " + errorText(reply));
        using Role = bluetooth::CharacteristicRole;
        const auto status = bluezUuid(bluetooth::layoutOf(Role::status).uuid());
        const auto mic = bluezUuid(bluetooth::layoutOf(Role::mic).uuid());
        readObjects(reply, [&](const std::string& path) {
            readInterfaces(reply, [&](const std::string& interface) {
                if (interface != bluez::gattCharacteristicInterface)
                    return false;
                readProperties(reply, {{"UUID", "s", [&] {
                                            const auto uuid = readString(reply);
                                            if (uuid == status)
                                                standin.statusPath = path;
                                            else if (uuid == mic)
                                                standin.micPath = path;
                                        }}});
                return true;
            });
        });
        if (standin.statusPath.empty() || standin.micPath.empty())
            throw std::runtime_error("the application has no status or microphone characteristic");
        standin.notifications.reset();
        sd_bus_slot* slot = nullptr;
        check(sd_bus_match_signal(standin.bus, &slot, standin.peripheral.c_str(),
                                  standin.statusPath.c_str(), dbus::propertiesInterface,
                                  "PropertiesChanged", onPropertiesChanged, nullptr),
              "sd_bus_match_signal");
        standin.notifications.reset(slot);
        auto call =
            newMethodCall(standin.bus, standin.peripheral.c_str(), standin.statusPath.c_str(),
                          bluez::gattCharacteristicInterface, "StartNotify");
        standin.pending = callAsync(standin.bus, call.get(), onSubscribed, nullptr);
    });
    return 0;
}

int onRegisterApplication(sd_bus_message* call, void*, sd_bus_error*) {
    guardWork([&] {
        const char* path = nullptr;
        check(sd_bus_message_read(call, "o", &path), "sd_bus_message_read");
        standin.peripheral = sd_bus_message_get_sender(call);
        standin.applicationPath = path;
        check(sd_bus_reply_method_return(call, ""), "sd_bus_reply_method_return");
        auto objects = newMethodCall(standin.bus, standin.peripheral.c_str(), path,
                                     dbus::objectManagerInterface, "GetManagedObjects");
        standin.pending = callAsync(standin.bus, objects.get(), onObjects, nullptr);
    });
    return 1;
}

int onAccepted(sd_bus_message* call, void*, sd_bus_error*) {
    return sd_bus_reply_method_return(call, "");
}

int getPowered(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
               sd_bus_error*) {
    return sd_bus_message_append(reply, "b", 1);
}

const sd_bus_vtable adapterVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("Powered", "b", getPowered, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_VTABLE_END,
};

const sd_bus_vtable gattManagerVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("RegisterApplication", "oa{sv}", "", onRegisterApplication,
                  SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("UnregisterApplication", "o", "", onAccepted, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};

const sd_bus_vtable advertisingManagerVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("RegisterAdvertisement", "oa{sv}", "", onAccepted, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("UnregisterAdvertisement", "o", "", onAccepted, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};

int run() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigprocmask(SIG_BLOCK, &signals, nullptr);
    sd_event* event = nullptr;
    check(sd_event_default(&event), "sd_event_default");
    EventOwner eventOwner(event);
    check(sd_event_add_signal(event, nullptr, SIGINT, nullptr, nullptr), "sd_event_add_signal");
    check(sd_event_add_signal(event, nullptr, SIGTERM, nullptr, nullptr), "sd_event_add_signal");

    auto bus = openSystemBus();
    standin.bus = bus.get();
    check(sd_bus_attach_event(standin.bus, event, SD_EVENT_PRIORITY_NORMAL), "sd_bus_attach_event");
    check(sd_bus_add_object_manager(standin.bus, nullptr, "/"), "sd_bus_add_object_manager");
    const std::pair<const char*, const sd_bus_vtable*> interfaces[] = {
        {bluez::adapterInterface, adapterVtable},
        {bluez::gattManagerInterface, gattManagerVtable},
        {bluez::advertisingManagerInterface, advertisingManagerVtable},
    };
    for (auto [interface, vtable] : interfaces)
        check(
            sd_bus_add_object_vtable(standin.bus, nullptr, adapterPath, interface, vtable, nullptr),
            "sd_bus_add_object_vtable");
    check(sd_bus_request_name(standin.bus, bluez::service, 0), "sd_bus_request_name org.bluez");
    std::printf("org.bluez ready\n");
    std::fflush(stdout);
    const int status = check(sd_event_loop(event), "sd_event_loop");
    sd_bus_detach_event(standin.bus);
    standin = {};
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 || (standin.requests = std::atol(argv[1])) <= 0) {
        std::fprintf(stderr, "usage: bluez-standin REQUESTS\n");
        return 2;
    }
    try {
        return run();
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "bluez-standin: %s\n", failure.what());
        return 1;
    }
}

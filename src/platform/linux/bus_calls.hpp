#pragma once

#include <systemd/sd-bus.h>

#include <cstdlib>
#include <cstring>
#include <exception>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/linux/sd_owners.hpp"

// Opening the bus, calling, watching and answering on it: the steps every adapter that
// speaks to BlueZ repeats, each checked.
namespace quorla::platform::linux_ {

inline constexpr const char* bluezName = "org.bluez";

// The one line a user without a system bus sees: it names the bus, not the sd-bus call.
inline BusOwner openSystemBus() {
    sd_bus* bus = nullptr;
    const int r = sd_bus_open_system(&bus);
    if (r >= 0)
        return BusOwner(bus);
    std::string address = "/run/dbus/system_bus_socket";  // sd-bus's default
    if (const char* given = std::getenv("DBUS_SYSTEM_BUS_ADDRESS"); given && *given) {
        constexpr std::string_view unixPath = "unix:path=";
        address = std::string_view(given).starts_with(unixPath) ? given + unixPath.size() : given;
    }
    throw std::runtime_error("no D-Bus system bus (" + address + ": " + std::strerror(-r) +
                             "); Bluetooth needs bluetoothd on the system bus");
}

// Bus callbacks come from C, which an exception must not cross. A failure to handle one
// message is logged, answered with BlueZ's generic error where an answer is due, and the
// loop goes on.
template <typename Body>
int guarded(std::ostream& trace, sd_bus_error* error, Body body) {
    try {
        return body();
    } catch (const std::exception& failure) {
        trace << "bluez: " << failure.what() << '\n';
        if (error)
            return sd_bus_error_set(error, "org.bluez.Error.Failed", failure.what());
        return 0;
    }
}

// The error name of a method reply, none for a success.
inline std::optional<std::string> errorName(sd_bus_message* reply) {
    if (!sd_bus_message_is_method_error(reply, nullptr))
        return std::nullopt;
    return std::string(sd_bus_message_get_error(reply)->name);
}

// "name: message" of a method reply's error.
inline std::string errorText(sd_bus_message* reply) {
    const sd_bus_error* error = sd_bus_message_get_error(reply);
    return std::string(error->name) + ": " + (error->message ? error->message : "");
}

inline MessageOwner newMethodCall(sd_bus* bus, const char* destination, const char* path,
                                  const char* interface, const char* member) {
    sd_bus_message* call = nullptr;
    check(sd_bus_message_new_method_call(bus, &call, destination, path, interface, member),
          "sd_bus_message_new_method_call");
    return MessageOwner(call);
}

// The reply goes to handler unless the slot is released first.
inline SlotOwner callAsync(sd_bus* bus, sd_bus_message* call, sd_bus_message_handler_t handler,
                           void* userdata) {
    sd_bus_slot* slot = nullptr;
    check(sd_bus_call_async(bus, &slot, call, handler, userdata, 0), "sd_bus_call_async");
    return SlotOwner(slot);
}

inline SlotOwner addMatch(sd_bus* bus, const char* rule, sd_bus_message_handler_t handler,
                          void* userdata) {
    sd_bus_slot* slot = nullptr;
    check(sd_bus_add_match_async(bus, &slot, rule, handler, nullptr, userdata),
          "sd_bus_add_match_async");
    return SlotOwner(slot);
}

}  // namespace quorla::platform::linux_

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
#include <utility>
#include <vector>

#include "platform/linux/bus/bluez_names.hpp"
#include "platform/linux/bus/sd_owners.hpp"

// Opening the bus, calling, watching and answering on it: the steps every adapter that
// speaks to BlueZ repeats, each checked.
namespace quorla::platform::linux_ {

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

// The error name of a method reply, none for a success.
inline std::optional<std::string> errorName(sd_bus_message* reply) {
    if (!sd_bus_message_is_method_error(reply, nullptr))
        return std::nullopt;
    return std::string(sd_bus_message_get_error(reply)->name);
}

// "name: message" of an error, or its name alone when it carries no message.
inline std::string errorText(const sd_bus_error* error) {
    return std::string(error->name) + (error->message ? std::string(": ") + error->message : "");
}

inline std::string errorText(sd_bus_message* reply) {
    return errorText(sd_bus_message_get_error(reply));
}

// The errors of a call to org.bluez that mean bluetoothd is not on the bus.
inline bool isBluezAbsent(const sd_bus_error* error) {
    return sd_bus_error_has_names(error, dbus::error::serviceUnknown, dbus::error::nameHasNoOwner);
}

inline MessageOwner newMethodCall(sd_bus* bus, const char* destination, const char* path,
                                  const char* interface, const char* member) {
    sd_bus_message* call = nullptr;
    check(sd_bus_message_new_method_call(bus, &call, destination, path, interface, member),
          "sd_bus_message_new_method_call");
    return MessageOwner(call);
}

// Every call to bluetoothd: asking must not start a bluetoothd that the system keeps off.
inline MessageOwner newBluezCall(sd_bus* bus, const char* path, const char* interface,
                                 const char* member) {
    auto call = newMethodCall(bus, bluez::service, path, interface, member);
    check(sd_bus_message_set_auto_start(call.get(), 0), "sd_bus_message_set_auto_start");
    return call;
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

// bluetoothd coming (a new owner) and going (none) on the system bus.
inline constexpr const char* bluezOwnerChangedRule =
    "type='signal',sender='org.freedesktop.DBus',interface='org.freedesktop.DBus',"
    "member='NameOwnerChanged',arg0='org.bluez'";

struct BluezSignalHandlers {
    sd_bus_message_handler_t nameOwnerChanged;  // of org.bluez only
    sd_bus_message_handler_t interfacesAdded;
    sd_bus_message_handler_t interfacesRemoved;
    sd_bus_message_handler_t propertiesChanged;
};

// Follows bluetoothd: its coming and going, the objects it adds and removes, and the changes
// of their properties (of propertiesOf's interface alone when one is named). The matches
// last as long as the slots returned.
inline std::vector<SlotOwner> watchBluezSignals(sd_bus* bus, const BluezSignalHandlers& handlers,
                                                void* userdata,
                                                const char* propertiesOf = nullptr) {
    std::string propertiesRule =
        "type='signal',sender='org.bluez',interface='org.freedesktop.DBus.Properties',"
        "member='PropertiesChanged'";
    if (propertiesOf)
        propertiesRule += std::string(",arg0='") + propertiesOf + "'";
    const std::pair<std::string, sd_bus_message_handler_t> rules[] = {
        {bluezOwnerChangedRule, handlers.nameOwnerChanged},
        {"type='signal',sender='org.bluez',interface='org.freedesktop.DBus.ObjectManager',"
         "member='InterfacesAdded'",
         handlers.interfacesAdded},
        {"type='signal',sender='org.bluez',interface='org.freedesktop.DBus.ObjectManager',"
         "member='InterfacesRemoved'",
         handlers.interfacesRemoved},
        {propertiesRule, handlers.propertiesChanged},
    };
    std::vector<SlotOwner> slots;
    for (const auto& [rule, handler] : rules)
        slots.push_back(addMatch(bus, rule.c_str(), handler, userdata));
    return slots;
}

}  // namespace quorla::platform::linux_

#pragma once

#include <systemd/sd-bus.h>

#include <cstring>
#include <vector>

#include "platform/linux/sd_owners.hpp"

// Reading and writing the D-Bus containers that BlueZ's API is made of, each step checked.
namespace quorla::platform::linux_ {

inline int appendStrings(sd_bus_message* reply, const std::vector<const char*>& strings) {
    check(sd_bus_message_open_container(reply, 'a', "s"), "sd_bus_message_open_container");
    for (const char* text : strings)
        check(sd_bus_message_append_basic(reply, 's', text), "sd_bus_message_append_basic");
    return check(sd_bus_message_close_container(reply), "sd_bus_message_close_container");
}

// Skips over one {sv} entry's variant unless it is the named one, which is read with reader.
// Returns false when the options hold the name with a value of another type.
template <typename Reader>
bool readOption(sd_bus_message* message, const char* wanted, const char* type, Reader reader) {
    check(sd_bus_message_enter_container(message, 'a', "{sv}"), "sd_bus_message_enter_container");
    bool isWellTyped = true;
    while (check(sd_bus_message_enter_container(message, 'e', "sv"),
                 "sd_bus_message_enter_container") > 0) {
        const char* name = nullptr;
        check(sd_bus_message_read_basic(message, 's', &name), "sd_bus_message_read_basic");
        const char* contents = nullptr;
        check(sd_bus_message_peek_type(message, nullptr, &contents), "sd_bus_message_peek_type");
        if (std::strcmp(name, wanted) != 0) {
            check(sd_bus_message_skip(message, "v"), "sd_bus_message_skip");
        } else if (std::strcmp(contents, type) != 0) {
            isWellTyped = false;
            check(sd_bus_message_skip(message, "v"), "sd_bus_message_skip");
        } else {
            check(sd_bus_message_enter_container(message, 'v', type),
                  "sd_bus_message_enter_container");
            reader();
            check(sd_bus_message_exit_container(message), "sd_bus_message_exit_container");
        }
        check(sd_bus_message_exit_container(message), "sd_bus_message_exit_container");
    }
    check(sd_bus_message_exit_container(message), "sd_bus_message_exit_container");
    return isWellTyped;
}

inline void openContainer(sd_bus_message* message, char type, const char* contents) {
    check(sd_bus_message_open_container(message, type, contents), "sd_bus_message_open_container");
}

inline void closeContainer(sd_bus_message* message) {
    check(sd_bus_message_close_container(message), "sd_bus_message_close_container");
}

}  // namespace quorla::platform::linux_

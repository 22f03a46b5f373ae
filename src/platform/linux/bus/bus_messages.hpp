#pragma once

#include <systemd/sd-bus.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "platform/linux/bus/sd_owners.hpp"
#include "platform/uuid.hpp"

// Reading and writing the D-Bus containers that BlueZ's API is made of, each step checked.
namespace quorla::platform::linux_ {

inline int appendStrings(sd_bus_message* reply, const std::vector<const char*>& strings) {
    check(sd_bus_message_open_container(reply, 'a', "s"), "sd_bus_message_open_container");
    for (const char* text : strings)
        check(sd_bus_message_append_basic(reply, 's', text), "sd_bus_message_append_basic");
    return check(sd_bus_message_close_container(reply), "sd_bus_message_close_container");
}

inline void openContainer(sd_bus_message* message, char type, const char* contents) {
    check(sd_bus_message_open_container(message, type, contents), "sd_bus_message_open_container");
}

inline void closeContainer(sd_bus_message* message) {
    check(sd_bus_message_close_container(message), "sd_bus_message_close_container");
}

using PropertyList = std::initializer_list<std::pair<const char*, const char*>>;  // name, type

// One {oa{sa{sv}}} entry of GetManagedObjects, its values written by the vtable's getter.
inline void appendObject(sd_bus_message* reply, const std::string& path, const char* interface,
                         PropertyList properties, sd_bus_property_get_t getter, void* userdata) {
    openContainer(reply, 'e', "oa{sa{sv}}");
    check(sd_bus_message_append_basic(reply, 'o', path.c_str()), "sd_bus_message_append_basic");
    openContainer(reply, 'a', "{sa{sv}}");
    openContainer(reply, 'e', "sa{sv}");
    check(sd_bus_message_append_basic(reply, 's', interface), "sd_bus_message_append_basic");
    openContainer(reply, 'a', "{sv}");
    for (auto [name, type] : properties) {
        openContainer(reply, 'e', "sv");
        check(sd_bus_message_append_basic(reply, 's', name), "sd_bus_message_append_basic");
        openContainer(reply, 'v', type);
        check(getter(nullptr, path.c_str(), interface, name, reply, userdata, nullptr), name);
        closeContainer(reply);
        closeContainer(reply);
    }
    for (int level = 0; level < 4; ++level)
        closeContainer(reply);
}

// BlueZ lists UUIDs in lower case.
inline std::string bluezUuid(const platform::Uuid& uuid) {
    auto text = uuid.toString();
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The new owner a NameOwnerChanged signal names; empty when the name was let go.
inline std::string readNewOwner(sd_bus_message* message) {
    const char *name = nullptr, *oldOwner = nullptr, *newOwner = nullptr;
    checkRead(sd_bus_message_read(message, "sss", &name, &oldOwner, &newOwner),
              "sd_bus_message_read");
    return newOwner;
}

inline bool readBool(sd_bus_message* message) {
    int value = 0;
    checkRead(sd_bus_message_read_basic(message, 'b', &value), "sd_bus_message_read_basic");
    return value != 0;
}

inline std::string readString(sd_bus_message* message) {
    const char* text = nullptr;
    checkRead(sd_bus_message_read_basic(message, 's', &text), "sd_bus_message_read_basic");
    return text;
}

// Reads an "as".
inline std::vector<std::string> readStrings(sd_bus_message* message) {
    char** strings = nullptr;
    checkRead(sd_bus_message_read_strv(message, &strings), "sd_bus_message_read_strv");
    std::vector<std::string> result;
    for (char** text = strings; text && *text; ++text) {
        result.emplace_back(*text);
        std::free(*text);
    }
    std::free(strings);
    return result;
}

// One property of an a{sv} that readProperties hands to read, which reads its value (of type
// type) from the message.
struct PropertyReader {
    const char* name;
    const char* type;
    std::function<void()> read;
};

// Reads an array of dictionary entries of the type entry ("sv", "sa{sv}", ...): read(key)
// reads an entry's value, or returns false to have it skipped.
template <typename Read>
void readDictionary(sd_bus_message* message, const std::string& entry, Read read) {
    checkRead(sd_bus_message_enter_container(message, 'a', ("{" + entry + "}").c_str()),
              "sd_bus_message_enter_container");
    while (checkRead(sd_bus_message_enter_container(message, 'e', entry.c_str()),
                     "sd_bus_message_enter_container") > 0) {
        const char* key = nullptr;
        checkRead(sd_bus_message_read_basic(message, entry[0], &key), "sd_bus_message_read_basic");
        if (!read(key))
            checkRead(sd_bus_message_skip(message, entry.c_str() + 1), "sd_bus_message_skip");
        checkRead(sd_bus_message_exit_container(message), "sd_bus_message_exit_container");
    }
    checkRead(sd_bus_message_exit_container(message), "sd_bus_message_exit_container");
}

// Reads an a{sv}; entries that no reader names, or whose value is of another type, are
// skipped. Returns false when a named entry held a value of another type.
inline bool readProperties(sd_bus_message* message, std::initializer_list<PropertyReader> readers) {
    bool isWellTyped = true;
    readDictionary(message, "sv", [&](const char* name) {
        const auto reader = std::find_if(readers.begin(), readers.end(), [&](const auto& r) {
            return std::strcmp(r.name, name) == 0;
        });
        if (reader == readers.end())
            return false;
        const char* contents = nullptr;
        checkRead(sd_bus_message_peek_type(message, nullptr, &contents),
                  "sd_bus_message_peek_type");
        if (std::strcmp(reader->type, contents) != 0) {
            isWellTyped = false;
            return false;
        }
        checkRead(sd_bus_message_enter_container(message, 'v', reader->type),
                  "sd_bus_message_enter_container");
        reader->read();
        checkRead(sd_bus_message_exit_container(message), "sd_bus_message_exit_container");
        return true;
    });
    return isWellTyped;
}

// Reads an a{sa{sv}}: visit(interface) reads that interface's a{sv}, or returns false to have
// it skipped.
template <typename Visit>
void readInterfaces(sd_bus_message* message, Visit visit) {
    readDictionary(message, "sa{sv}",
                   [&](const char* interface) { return visit(std::string(interface)); });
}

// Reads the a{oa{sa{sv}}} of ObjectManager.GetManagedObjects: visit(path) reads each object's
// a{sa{sv}}.
template <typename Visit>
void readObjects(sd_bus_message* message, Visit visit) {
    readDictionary(message, "oa{sa{sv}}", [&](const char* path) {
        visit(std::string(path));
        return true;
    });
}

}  // namespace quorla::platform::linux_

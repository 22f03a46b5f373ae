// The floor of this stack, for bench/ to measure the agent against: the least a BlueZ
// peripheral with the agent's GATT layout can do over sd-bus and sd-event. A write to the
// microphone characteristic sets ("1") or clears (anything else) the status byte's
// microphone bit and notifies the byte at once. No client, no poll, no trace, no checks of
// who calls: nothing the agent does beyond that.
//
//   minimal-peripheral --record-name NAME [--adapter hciN]
//
// It publishes on hciN (hci0 by default) the service the agent derives from NAME, prints a
// line as each registration is answered, and ends on "quit", the end of its input, SIGINT or
// SIGTERM.
#include <signal.h>
#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "bluetooth/gatt_layout.hpp"
#include "bluetooth/identifiers.hpp"
#include "bluetooth/requests.hpp"
#include "bluetooth/status_byte.hpp"
#include "platform/linux/bluez/gatt_flags.hpp"
#include "platform/linux/bus/bluez_names.hpp"
#include "platform/linux/bus/bus_calls.hpp"
#include "platform/linux/bus/bus_messages.hpp"

namespace {

using namespace quorla;
using platform::linux_::check;
namespace bluez = platform::linux_::bluez;
namespace dbus = platform::linux_::dbus;

constexpr const char* applicationPath = "/org/quorla/bench/application";
constexpr const char* servicePath = "/org/quorla/bench/application/service0";
constexpr const char* advertisementPath = "/org/quorla/bench/advertisement";

struct Characteristic {
    std::string path;
    std::string uuid;
    bool isNotifying = false;
};

struct Peripheral {
    sd_bus* bus = nullptr;
    std::string serviceUuid;
    // Those of the agent's characteristics when pairing is not required.
    std::vector<std::string> flags;
    std::vector<const char*> flagList;  // the same, as sd-bus takes them
    std::array<Characteristic, bluetooth::gattLayout.size()> characteristics;
    std::uint8_t status = bluetooth::encodeStatus({.isConnected = true});

    Characteristic& of(bluetooth::CharacteristicRole role) {
        return characteristics[static_cast<std::size_t>(role)];
    }
};

Peripheral peripheral;

// PropertiesChanged built by hand: sd-bus's own property-change call would look the
// property up in the vtable and call a getter for it.
int notifyStatus() {
    if (!peripheral.of(bluetooth::CharacteristicRole::status).isNotifying)
        return 0;
    sd_bus_message* signal = nullptr;
    int r = sd_bus_message_new_signal(
        peripheral.bus, &signal, peripheral.of(bluetooth::CharacteristicRole::status).path.c_str(),
        dbus::propertiesInterface, "PropertiesChanged");
    // Step by step rather than through sd_bus_message_append, which parses its format first.
    const std::uint8_t value = peripheral.status;
    if (r >= 0)
        r = sd_bus_message_append_basic(signal, 's', bluez::gattCharacteristicInterface);
    for (auto [type, contents] : {std::pair{'a', "{sv}"}, {'e', "sv"}})
        if (r >= 0)
            r = sd_bus_message_open_container(signal, type, contents);
    if (r >= 0)
        r = sd_bus_message_append_basic(signal, 's', "Value");
    if (r >= 0)
        r = sd_bus_message_open_container(signal, 'v', "ay");
    if (r >= 0)
        r = sd_bus_message_append_array(signal, 'y', &value, 1);
    for (int level = 0; level < 3; ++level)
        if (r >= 0)
            r = sd_bus_message_close_container(signal);
    if (r >= 0)
        r = sd_bus_message_append_strv(signal, nullptr);
    if (r >= 0)
        r = sd_bus_send(peripheral.bus, signal, nullptr);
    sd_bus_message_unref(signal);
    return r;
}

int onWriteValue(sd_bus_message* call, void* userdata, sd_bus_error*) {
    const void* bytes = nullptr;
    std::size_t size = 0;
    int r = sd_bus_message_read_array(call, 'y', &bytes, &size);
    if (r < 0)
        return r;
    if (userdata == &peripheral.of(bluetooth::CharacteristicRole::mic)) {
        const auto* first = static_cast<const std::uint8_t*>(bytes);
        const bool isOn = bluetooth::isSwitchOn(platform::Bytes(first, first + size));
        constexpr auto mic = bluetooth::status_bit::micActive;
        peripheral.status = isOn ? peripheral.status | mic : peripheral.status & ~mic;
        if ((r = notifyStatus()) < 0)
            return r;
    }
    // No reply goes out for a Write Command: bluetoothd expects none.
    return sd_bus_reply_method_return(call, "");
}

int onReadValue(sd_bus_message* call, void* userdata, sd_bus_error*) {
    const bool isStatus = userdata == &peripheral.of(bluetooth::CharacteristicRole::status);
    return sd_bus_reply_method_return(call, "ay", isStatus ? 1 : 0,
                                      static_cast<int>(peripheral.status));
}

int onNotify(sd_bus_message* call, void* userdata, sd_bus_error*) {
    static_cast<Characteristic*>(userdata)->isNotifying =
        std::strcmp(sd_bus_message_get_member(call), "StartNotify") == 0;
    return sd_bus_reply_method_return(call, "");
}

int getCharacteristic(sd_bus*, const char*, const char*, const char* property,
                      sd_bus_message* reply, void* userdata, sd_bus_error*) {
    const auto& characteristic = *static_cast<Characteristic*>(userdata);
    if (std::strcmp(property, "UUID") == 0)
        return sd_bus_message_append(reply, "s", characteristic.uuid.c_str());
    if (std::strcmp(property, "Service") == 0)
        return sd_bus_message_append(reply, "o", servicePath);
    return sd_bus_message_append_strv(reply, const_cast<char**>(peripheral.flagList.data()));
}

int getService(sd_bus*, const char*, const char*, const char* property, sd_bus_message* reply,
               void*, sd_bus_error*) {
    if (std::strcmp(property, "UUID") == 0)
        return sd_bus_message_append(reply, "s", peripheral.serviceUuid.c_str());
    return sd_bus_message_append(reply, "b", 1);
}

int getAdvertisement(sd_bus*, const char*, const char*, const char* property, sd_bus_message* reply,
                     void*, sd_bus_error*) {
    if (std::strcmp(property, "Type") == 0)
        return sd_bus_message_append(reply, "s", "peripheral");
    return sd_bus_message_append(reply, "as", 1, peripheral.serviceUuid.c_str());
}

int onRelease(sd_bus_message* call, void*, sd_bus_error*) {
    return sd_bus_reply_method_return(call, "");
}

// Only bluetoothd calls these objects, so sd-bus need not ask the bus who is calling.
constexpr auto unprivileged = SD_BUS_VTABLE_UNPRIVILEGED;

const sd_bus_vtable characteristicVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("UUID", "s", getCharacteristic, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Service", "o", getCharacteristic, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Flags", "as", getCharacteristic, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_METHOD("ReadValue", "a{sv}", "ay", onReadValue, unprivileged),
    SD_BUS_METHOD("WriteValue", "aya{sv}", "", onWriteValue, unprivileged),
    SD_BUS_METHOD("StartNotify", "", "", onNotify, unprivileged),
    SD_BUS_METHOD("StopNotify", "", "", onNotify, unprivileged),
    SD_BUS_VTABLE_END,
};

const sd_bus_vtable serviceVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("UUID", "s", getService, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Primary", "b", getService, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_VTABLE_END,
};

const sd_bus_vtable advertisementVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("Type", "s", getAdvertisement, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("ServiceUUIDs", "as", getAdvertisement, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_METHOD("Release", "", "", onRelease, unprivileged),
    SD_BUS_VTABLE_END,
};

int onRegistered(sd_bus_message* reply, void* userdata, sd_bus_error*) {
    const auto* what = static_cast<const char*>(userdata);
    if (sd_bus_message_is_method_error(reply, nullptr)) {
        const auto* error = sd_bus_message_get_error(reply);
        std::printf("registering the %s failed: %s: %s\n", what, error->name,
                    error->message ? error->message : "");
        return sd_event_exit(sd_bus_get_event(sd_bus_message_get_bus(reply)), 1);
    }
    std::printf("%s registered\n", what);
    return 0;
}

void registerObject(const std::string& adapter, const char* manager, const char* path,
                    const char* what) {
    check(sd_bus_call_method_async(
              peripheral.bus, nullptr, bluez::service, adapter.c_str(), manager,
              manager == std::string_view(bluez::gattManagerInterface) ? "RegisterApplication"
                                                                       : "RegisterAdvertisement",
              onRegistered, const_cast<char*>(what), "oa{sv}", path, 0),
          "sd_bus_call_method_async");
}

// bluetoothd drops what a connection registered when it leaves the bus; asking first keeps
// the adapter's advertising slot free for whoever publishes next in the same boot.
void unregisterAll(const std::string& adapter) {
    sd_bus_call_method(peripheral.bus, bluez::service, adapter.c_str(),
                       bluez::advertisingManagerInterface, "UnregisterAdvertisement", nullptr,
                       nullptr, "o", advertisementPath);
    sd_bus_call_method(peripheral.bus, bluez::service, adapter.c_str(), bluez::gattManagerInterface,
                       "UnregisterApplication", nullptr, nullptr, "o", applicationPath);
}

int onInput(sd_event_source* source, int fd, std::uint32_t, void*) {
    char buffer[256];
    const auto length = read(fd, buffer, sizeof buffer);
    if (length > 0 && std::string_view(buffer, length).find("quit") == std::string_view::npos)
        return 0;
    return sd_event_exit(sd_event_source_get_event(source), 0);
}

int run(std::string_view recordName, const std::string& adapter) {
    peripheral.serviceUuid = platform::linux_::bluezUuid(
        bluetooth::nameBasedUUID(recordName, bluetooth::serviceNamespaceUUID()));
    peripheral.flags = platform::linux_::bluezFlags(bluetooth::characteristicProperties,
                                                    bluetooth::characteristicPermissions);
    for (const auto& flag : peripheral.flags)
        peripheral.flagList.push_back(flag.c_str());
    peripheral.flagList.push_back(nullptr);
    for (const auto& layout : bluetooth::gattLayout)
        peripheral.of(layout.role) = {
            std::string(servicePath) + "/char" + std::to_string(static_cast<int>(layout.role)),
            platform::linux_::bluezUuid(layout.uuid())};

    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigprocmask(SIG_BLOCK, &signals, nullptr);
    sd_event* event = nullptr;
    check(sd_event_default(&event), "sd_event_default");
    check(sd_event_add_signal(event, nullptr, SIGINT, nullptr, nullptr), "sd_event_add_signal");
    check(sd_event_add_signal(event, nullptr, SIGTERM, nullptr, nullptr), "sd_event_add_signal");
    check(sd_event_add_io(event, nullptr, STDIN_FILENO, EPOLLIN, onInput, nullptr),
          "sd_event_add_io");

    auto bus = platform::linux_::openSystemBus();
    peripheral.bus = bus.get();
    check(sd_bus_attach_event(peripheral.bus, event, SD_EVENT_PRIORITY_NORMAL),
          "sd_bus_attach_event");
    check(sd_bus_add_object_manager(peripheral.bus, nullptr, applicationPath),
          "sd_bus_add_object_manager");
    check(sd_bus_add_object_vtable(peripheral.bus, nullptr, servicePath,
                                   bluez::gattServiceInterface, serviceVtable, nullptr),
          "sd_bus_add_object_vtable");
    for (auto& characteristic : peripheral.characteristics)
        check(sd_bus_add_object_vtable(peripheral.bus, nullptr, characteristic.path.c_str(),
                                       bluez::gattCharacteristicInterface, characteristicVtable,
                                       &characteristic),
              "sd_bus_add_object_vtable");
    check(sd_bus_add_object_vtable(peripheral.bus, nullptr, advertisementPath,
                                   bluez::advertisementInterface, advertisementVtable, nullptr),
          "sd_bus_add_object_vtable");

    std::printf("publishing service %s on %s\n", peripheral.serviceUuid.c_str(),
                adapter.c_str() + adapter.rfind('/') + 1);
    registerObject(adapter, bluez::gattManagerInterface, applicationPath, "application");
    registerObject(adapter, bluez::advertisingManagerInterface, advertisementPath, "advertisement");
    const int status = check(sd_event_loop(event), "sd_event_loop");
    unregisterAll(adapter);
    sd_bus_detach_event(peripheral.bus);
    sd_event_unref(event);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::string_view recordName;
    std::string adapter = "hci0";
    bool isUsage = argc % 2 == 0;
    for (int index = 1; index + 1 < argc; index += 2) {
        const std::string_view option = argv[index];
        if (option == "--record-name")
            recordName = argv[index + 1];
        else if (option == "--adapter")
            adapter = argv[index + 1];
        else
            isUsage = true;
    }
    if (isUsage || recordName.empty()) {
        std::fprintf(stderr, "usage: minimal-peripheral --record-name NAME [--adapter hciN]\n");
        return 2;
    }
    try {
        return run(recordName, std::string(bluez::root) + "/" + adapter);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "minimal-peripheral: %s\n", failure.what());
        return 1;
    }
}

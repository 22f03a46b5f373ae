#include "platform/linux/bluez/bluez_watch.hpp"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/linux/bus/bus_calls.hpp"
#include "platform/linux/bus/bus_messages.hpp"
#include "platform/linux/bus/entry_guard.hpp"

namespace quorla::platform::linux_ {

namespace {

using bluez::adapterInterface;

bool readPowered(sd_bus_message* message, bool isPowered) {
    readProperties(message, {{"Powered", "b", [&] { isPowered = readBool(message); }}});
    return isPowered;
}

}  // namespace

BluezWatch::BluezWatch(sd_bus* bus, AdapterChoice& adapters, BluezOwner& owner, Listener listener,
                       std::ostream& trace)
    : bus_(bus),
      adapters_(adapters),
      owner_(owner),
      listener_(std::move(listener)),
      trace_(trace),
      watches_(watchBluezSignals(
          bus,
          {&onNameOwnerChanged, &onInterfacesAdded, &onInterfacesRemoved, &onPropertiesChanged},
          this, adapterInterface)) {
    requestManagedObjects();
}

void BluezWatch::requestManagedObjects() {
    auto call = newBluezCall(bus_, "/", dbus::objectManagerInterface, "GetManagedObjects");
    managedObjectsCall_ = callAsync(bus_, call.get(), &onManagedObjects, this);
}

int BluezWatch::onManagedObjects(sd_bus_message* reply, void* userdata, sd_bus_error*) {
    auto& self = *static_cast<BluezWatch*>(userdata);
    self.managedObjectsCall_.reset();
    return guardInput(self.trace_, "bluez", nullptr, [&] {
        if (!sd_bus_message_is_method_error(reply, nullptr)) {
            self.owner_.setFromReply(reply);
            self.readManagedObjects(reply);
            return 0;
        }
        if (!isBluezAbsent(sd_bus_message_get_error(reply)))
            self.trace_ << "bluez: GetManagedObjects failed: " << errorText(reply) << '\n';
        self.bluezGone();
        return 0;
    });
}

void BluezWatch::readManagedObjects(sd_bus_message* reply) {
    adapters_.bluezFound();
    readObjects(reply, [&](const std::string& path) { readAdapterInterfaces(reply, path); });
    listener_.changed();
}

// Reads a{sa{sv}}, keeping the adapter's power when the object is an adapter.
void BluezWatch::readAdapterInterfaces(sd_bus_message* message, const std::string& path) {
    readInterfaces(message, [&](const std::string& interface) {
        if (interface != adapterInterface)
            return false;
        adapters_.setPowered(path, readPowered(message, false));
        return true;
    });
}

int BluezWatch::onNameOwnerChanged(sd_bus_message* message, void* userdata, sd_bus_error*) {
    auto& self = *static_cast<BluezWatch*>(userdata);
    return guardInput(self.trace_, "bluez", nullptr, [&] {
        auto newOwner = readNewOwner(message);
        self.owner_.set(newOwner);
        if (newOwner.empty())
            self.bluezGone();
        else
            self.requestManagedObjects();
        return 0;
    });
}

int BluezWatch::onInterfacesAdded(sd_bus_message* message, void* userdata, sd_bus_error*) {
    auto& self = *static_cast<BluezWatch*>(userdata);
    return guardInput(self.trace_, "bluez", nullptr, [&] {
        const char* path = nullptr;
        checkRead(sd_bus_message_read_basic(message, 'o', &path), "sd_bus_message_read_basic");
        self.readAdapterInterfaces(message, path);
        self.listener_.changed();
        return 0;
    });
}

int BluezWatch::onInterfacesRemoved(sd_bus_message* message, void* userdata, sd_bus_error*) {
    auto& self = *static_cast<BluezWatch*>(userdata);
    return guardInput(self.trace_, "bluez", nullptr, [&] {
        self.adapterRemoved(message);
        return 0;
    });
}

void BluezWatch::adapterRemoved(sd_bus_message* message) {
    const char* path = nullptr;
    checkRead(sd_bus_message_read(message, "o", &path), "sd_bus_message_read");
    const auto interfaces = readStrings(message);
    const bool isAdapter =
        std::find(interfaces.begin(), interfaces.end(), adapterInterface) != interfaces.end();
    if (!isAdapter || !adapters_.remove(path))
        return;
    // bluetoothd drops what was registered on an adapter that goes away.
    listener_.dropped(std::string(path));
    listener_.changed();
}

int BluezWatch::onPropertiesChanged(sd_bus_message* message, void* userdata, sd_bus_error*) {
    auto& self = *static_cast<BluezWatch*>(userdata);
    return guardInput(self.trace_, "bluez", nullptr, [&] {
        const std::string path = sd_bus_message_get_path(message);
        const auto wasPowered = self.adapters_.isPowered(path);
        if (!wasPowered)
            return 0;
        const char* interface = nullptr;
        checkRead(sd_bus_message_read_basic(message, 's', &interface), "sd_bus_message_read_basic");
        self.adapters_.setPowered(path, readPowered(message, *wasPowered));
        self.listener_.changed();
        return 0;
    });
}

void BluezWatch::bluezGone() {
    owner_.set({});
    adapters_.bluezGone();
    listener_.dropped(std::nullopt);
    listener_.changed();
}

}  // namespace quorla::platform::linux_

#pragma once

#include <systemd/sd-bus.h>

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/linux/bluez/adapter_choice.hpp"
#include "platform/linux/bluez/bluez_owner.hpp"
#include "platform/linux/bus/sd_owners.hpp"

namespace quorla::platform::linux_ {

// Follows bluetoothd on the bus: whether it runs, the adapters it lists and their power,
// all written into an AdapterChoice. Asking never starts a bluetoothd the system keeps off.
class BluezWatch {
  public:
    struct Listener {
        // BlueZ dropped whatever it held of ours on that adapter (none: on every adapter).
        std::function<void(const std::optional<std::string>& adapter)> dropped;
        // The adapters, their power or bluetoothd's presence may have changed.
        std::function<void()> changed;
    };

    // owner follows who owns org.bluez.
    BluezWatch(sd_bus* bus, AdapterChoice& adapters, BluezOwner& owner, Listener listener,
               std::ostream& trace);
    BluezWatch(const BluezWatch&) = delete;
    BluezWatch& operator=(const BluezWatch&) = delete;

  private:
    static int onNameOwnerChanged(sd_bus_message* message, void* userdata, sd_bus_error*);
    static int onInterfacesAdded(sd_bus_message* message, void* userdata, sd_bus_error*);
    static int onInterfacesRemoved(sd_bus_message* message, void* userdata, sd_bus_error*);
    static int onPropertiesChanged(sd_bus_message* message, void* userdata, sd_bus_error*);
    static int onManagedObjects(sd_bus_message* reply, void* userdata, sd_bus_error*);

    void requestManagedObjects();
    void readManagedObjects(sd_bus_message* reply);
    void readAdapterInterfaces(sd_bus_message* message, const std::string& path);
    void adapterRemoved(sd_bus_message* message);
    void bluezGone();

    sd_bus* bus_;
    AdapterChoice& adapters_;
    BluezOwner& owner_;
    Listener listener_;
    std::ostream& trace_;
    std::vector<SlotOwner> watches_;
    SlotOwner managedObjectsCall_;
};

}  // namespace quorla::platform::linux_

#pragma once

#include <systemd/sd-bus.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/linux/bluez/bluez_owner.hpp"
#include "platform/linux/bus/sd_owners.hpp"
#include "platform/peripheral.hpp"

namespace quorla::platform::linux_ {

// The LEAdvertisement1 object BlueZ reads when the advertisement is registered: a
// peripheral advertising the core's service UUIDs, nothing else.
class LeAdvertisement {
  public:
    static constexpr const char* path = "/org/quorla/advertisement";

    // released: BlueZ called Release, so it no longer holds the advertisement. Only bluez's
    // calls reach it.
    LeAdvertisement(sd_bus* bus, BluezOwner& bluez, std::function<void()> released,
                    std::ostream& trace);
    LeAdvertisement(const LeAdvertisement&) = delete;
    LeAdvertisement& operator=(const LeAdvertisement&) = delete;

    // Takes effect when the advertisement is registered again. Returns the UUIDs as BlueZ
    // lists them.
    const std::vector<std::string>& setServiceUuids(const platform::AdvertisementData& data);

  private:
    static int getProperty(sd_bus*, const char*, const char*, const char* property,
                           sd_bus_message* reply, void* userdata, sd_bus_error*);
    static int onRelease(sd_bus_message* call, void* userdata, sd_bus_error* error);
    static const sd_bus_vtable* vtable();

    std::function<void()> released_;
    std::ostream& trace_;
    std::vector<std::string> serviceUuids_;
    SlotOwner guard_;
    SlotOwner vtable_;
};

}  // namespace quorla::platform::linux_

#include "platform/linux/peripheral/le_advertisement.hpp"

#include <cstring>
#include <utility>

#include "platform/linux/bus/bus_calls.hpp"
#include "platform/linux/bus/bus_messages.hpp"
#include "platform/linux/bus/entry_guard.hpp"

namespace quorla::platform::linux_ {

LeAdvertisement::LeAdvertisement(sd_bus* bus, BluezOwner& bluez, std::function<void()> released,
                                 std::ostream& trace)
    : released_(std::move(released)), trace_(trace), guard_(bluez.guard(bus, path)) {
    sd_bus_slot* slot = nullptr;
    check(sd_bus_add_object_vtable(bus, &slot, path, bluez::advertisementInterface, vtable(), this),
          "sd_bus_add_object_vtable");
    vtable_.reset(slot);
}

const std::vector<std::string>& LeAdvertisement::setServiceUuids(
    const platform::AdvertisementData& data) {
    serviceUuids_.clear();
    for (const auto& uuid : data.serviceUuids)
        serviceUuids_.push_back(bluezUuid(uuid));
    return serviceUuids_;
}

int LeAdvertisement::getProperty(sd_bus*, const char*, const char*, const char* property,
                                 sd_bus_message* reply, void* userdata, sd_bus_error* error) {
    auto& self = *static_cast<LeAdvertisement*>(userdata);
    return guardInput(self.trace_, "bluez", error, [&] {
        if (std::strcmp(property, "Type") == 0)
            return check(sd_bus_message_append(reply, "s", "peripheral"), "sd_bus_message_append");
        std::vector<const char*> uuids;
        for (const auto& uuid : self.serviceUuids_)
            uuids.push_back(uuid.c_str());
        return appendStrings(reply, uuids);
    });
}

int LeAdvertisement::onRelease(sd_bus_message* call, void* userdata, sd_bus_error* error) {
    auto& self = *static_cast<LeAdvertisement*>(userdata);
    return guardInput(self.trace_, "bluez", error, [&] {
        self.trace_ << "bluez: BlueZ released the advertisement\n";
        self.released_();
        return check(sd_bus_reply_method_return(call, ""), "sd_bus_reply_method_return");
    });
}

const sd_bus_vtable* LeAdvertisement::vtable() {
    static const sd_bus_vtable vtable[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_PROPERTY("Type", "s", &getProperty, 0, 0),
        SD_BUS_PROPERTY("ServiceUUIDs", "as", &getProperty, 0, 0),
        // Unprivileged: sd-bus asks the bus daemon nothing, since the object's guard has let
        // only bluetoothd through (BluezOwner).
        SD_BUS_METHOD("Release", "", "", &onRelease, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_VTABLE_END,
    };
    return vtable;
}

}  // namespace quorla::platform::linux_

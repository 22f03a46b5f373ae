#include "platform/linux/bluez/bluez_owner.hpp"

#include <cerrno>
#include <cstring>

#include "platform/linux/bus/bluez_names.hpp"
#include "platform/linux/bus/entry_guard.hpp"

namespace quorla::platform::linux_ {

namespace {
constexpr std::size_t maxSendersRemembered = 64;
}  // namespace

void BluezOwner::setFromReply(sd_bus_message* reply) {
    const char* sender = sd_bus_message_get_sender(reply);
    if (sender && std::strcmp(sender, dbus::service) != 0)
        name_ = sender;
}

bool BluezOwner::admits(sd_bus_message* call, sd_bus_error* error) {
    const char* sender = sd_bus_message_get_sender(call);
    if (sender && !name_.empty() && name_ == sender)
        return true;
    const std::string caller = sender ? sender : "a connection without a name";
    if (refused_.size() >= maxSendersRemembered)
        refused_.clear();  // a flood of new connections costs lines, not memory
    if (refused_.insert(caller).second)
        log_ << who_ << ": refused " << sd_bus_message_get_member(call) << " from " << caller
             << ": only bluetoothd may call the agent's objects (its further calls are refused "
                "without a line)\n";
    sd_bus_error_set(error, bluez::error::notPermitted, "only bluetoothd may call this object");
    return false;
}

SlotOwner BluezOwner::guard(sd_bus* bus, const char* path) {
    sd_bus_slot* slot = nullptr;
    check(sd_bus_add_object(bus, &slot, path, &onCall, this), "sd_bus_add_object");
    return SlotOwner(slot);
}

// 0 lets sd-bus go on to the object's methods; an error is sent back as the answer.
int BluezOwner::onCall(sd_bus_message* call, void* userdata, sd_bus_error* error) {
    auto& self = *static_cast<BluezOwner*>(userdata);
    return guardInput(self.log_, self.who_, error,
                      [&] { return self.admits(call, error) ? 0 : -EACCES; });
}

}  // namespace quorla::platform::linux_

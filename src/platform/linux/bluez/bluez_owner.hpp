#pragma once

#include <systemd/sd-bus.h>

#include <ostream>
#include <set>
#include <string>

#include "platform/linux/bus/sd_owners.hpp"

namespace quorla::platform::linux_ {

// Who may call the objects we export for BlueZ (the GATT application, the advertisement, the
// pairing agent): the current owner of org.bluez alone, by its unique name. Any other
// connection, which a bus policy may let through, is refused before it reaches anything of
// ours, since a Release or a StopNotify from it would make us believe BlueZ let go of what it
// still holds. This check is what makes it safe to mark those methods
// SD_BUS_VTABLE_UNPRIVILEGED, so that sd-bus does not ask the bus daemon for each caller's
// credentials.
class BluezOwner {
  public:
    // who: the layer that names itself in the line logged for a refused sender.
    BluezOwner(std::ostream& log, const char* who) : log_(log), who_(who) {}

    // The unique name (":1.7") that owns org.bluez now; empty while nobody does.
    void set(std::string uniqueName) { name_ = std::move(uniqueName); }
    // From a reply to a call to org.bluez: the bus itself answers when nobody owns it.
    void setFromReply(sd_bus_message* reply);
    const std::string& name() const { return name_; }

    // True for a call from the owner. Otherwise error is set to org.bluez.Error.NotPermitted,
    // and the first call of each sender is logged in one line.
    bool admits(sd_bus_message* call, sd_bus_error* error);

    // Refuses every method call on path that does not come from the owner, before sd-bus
    // looks for a method or property of the object: an sd-bus object callback on that path.
    // Where path has an object callback of its own, that one calls admits instead.
    SlotOwner guard(sd_bus* bus, const char* path);

  private:
    static int onCall(sd_bus_message* call, void* userdata, sd_bus_error* error);

    std::ostream& log_;
    const char* who_;
    std::string name_;
    std::set<std::string> refused_;
};

}  // namespace quorla::platform::linux_

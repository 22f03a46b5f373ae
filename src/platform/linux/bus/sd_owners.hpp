#pragma once

#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>

#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

namespace quorla::platform::linux_ {

// A failed sd-bus or sd-event call that builds, sends, attaches or schedules something: the
// bus or the loop itself is broken, which ends the program (entry_guard.hpp).
class BusFailure : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// sd-bus and sd-event report failure as a negative errno. Every call of ours goes through
// here, so every error names the call that failed.
inline int check(int result, const char* call) {
    if (result < 0)
        throw BusFailure(std::string(call) + ": " + std::strerror(-result));
    return result;
}

// The same for reading a message, where a failure means the message is not what it should
// be: the sender's fault, not the bus's, so only that message is dropped.
inline int checkRead(int result, const char* call) {
    if (result < 0)
        throw std::runtime_error(std::string(call) + ": " + std::strerror(-result));
    return result;
}

namespace detail {
struct BusUnref {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
struct SlotUnref {
    void operator()(sd_bus_slot* slot) const { sd_bus_slot_unref(slot); }
};
struct MessageUnref {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
struct EventUnref {
    void operator()(sd_event* event) const { sd_event_unref(event); }
};
struct EventSourceUnref {
    // Disabling first stops a source that someone else still references from firing.
    void operator()(sd_event_source* source) const { sd_event_source_disable_unref(source); }
};
}  // namespace detail

// Each owner releases its handle in its destructor: a slot unregisters its object, vtable,
// match or pending call; an event source stops watching.
using BusOwner = std::unique_ptr<sd_bus, detail::BusUnref>;
using SlotOwner = std::unique_ptr<sd_bus_slot, detail::SlotUnref>;
using MessageOwner = std::unique_ptr<sd_bus_message, detail::MessageUnref>;
using EventOwner = std::unique_ptr<sd_event, detail::EventUnref>;
using EventSourceOwner = std::unique_ptr<sd_event_source, detail::EventSourceUnref>;

}  // namespace quorla::platform::linux_

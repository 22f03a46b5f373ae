#pragma once

#include <systemd/sd-bus.h>

#include <chrono>
#include <exception>
#include <functional>
#include <list>
#include <string>

#include "platform/linux/bus/sd_owners.hpp"

namespace quorla::platform::linux_ {

// Calls to bluetoothd still waiting for their replies, each with the function its reply goes
// to. Clearing or destroying the list drops the replies still due.
class BluezCalls {
  public:
    // error: none for a success.
    using Reply = std::function<void(sd_bus_message* reply, const sd_bus_error* error)>;
    using Appender = std::function<void(sd_bus_message* call)>;

    // failed: hears what a reply function threw, when that does not end the program
    // (entry_guard.hpp).
    BluezCalls(sd_bus* bus, std::function<void(const std::exception&)> failed);
    BluezCalls(const BluezCalls&) = delete;
    BluezCalls& operator=(const BluezCalls&) = delete;

    // timeout: zero for sd-bus's default of 25 s.
    void call(const std::string& path, const char* interface, const char* member,
              const Appender& append, Reply reply,
              std::chrono::seconds timeout = std::chrono::seconds(0));
    void clear() { calls_.clear(); }

  private:
    struct Call {
        BluezCalls* owner;
        std::list<Call>::iterator self;
        SlotOwner slot;
        Reply reply;
    };
    static int onReply(sd_bus_message* reply, void* userdata, sd_bus_error*);

    sd_bus* bus_;
    std::function<void(const std::exception&)> failed_;
    std::list<Call> calls_;
};

}  // namespace quorla::platform::linux_

#pragma once

#include <systemd/sd-bus.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/linux/bluez/bluez_calls.hpp"
#include "platform/linux/bus/event_loop.hpp"
#include "platform/linux/bus/sd_owners.hpp"
#include "platform/linux/pairing/pairing_agent.hpp"
#include "platform/linux/remote/connection.hpp"
#include "platform/linux/remote/gatt_layout.hpp"
#include "platform/uuid.hpp"

namespace quorla::remote {

using Bytes = std::vector<std::uint8_t>;

// The companion's side over BlueZ's D-Bus API on the system bus: it makes the calls its
// Connection asks for and reports BlueZ's replies and signals to it, then reads, writes and
// subscribes as the phone does. Every call to BlueZ is asynchronous. When the loop
// terminates it leaves BlueZ as it found it: a discovery it started is stopped, a device it
// connected is disconnected.
class BluezCentral {
  public:
    struct Target {
        platform::Uuid service;
        std::optional<std::string> adapterName;  // none: the first adapter BlueZ lists
        std::chrono::duration<double> timeout;   // to find, connect and check the agent
    };
    struct Events {
        // Connected, services resolved, layout checked.
        std::function<void(const std::string& address)> ready;
        std::function<void(const Bytes& value)> notified;
        // The one line saying why the central cannot go on; nothing is reported after it.
        std::function<void(const std::string& line)> failed;
    };

    // Throws when there is no system bus; everything else arrives through events.
    BluezCentral(platform::linux_::EventLoop& loop, Target target, Events events,
                 std::ostream& trace);
    ~BluezCentral();
    BluezCentral(const BluezCentral&) = delete;
    BluezCentral& operator=(const BluezCentral&) = delete;

    // Once ready. A call BlueZ refuses ends in failed.
    void read(Role role, std::function<void(const Bytes&)> done);
    // A Write Command (without response), as the phone writes.
    void writeCommand(Role role, const platform::Bytes& value, std::function<void()> done);
    void subscribe(Role role, std::function<void()> done);
    // Pairs with the agent through a pairing agent of our own, which confirms the passkey it
    // is shown: the person at the computer compares it. done hears whether it was paired
    // before.
    void pair(std::function<void(bool wasPaired)> done);
    // The agent's, once ready.
    const std::string& address() const { return connection_.address(); }
    const Connection& connection() const { return connection_; }

  private:
    using Reply = platform::linux_::BluezCalls::Reply;

    static int onNameOwnerChanged(sd_bus_message* message, void* userdata, sd_bus_error*);
    static int onInterfacesAdded(sd_bus_message* message, void* userdata, sd_bus_error*);
    static int onInterfacesRemoved(sd_bus_message* message, void* userdata, sd_bus_error*);
    static int onPropertiesChanged(sd_bus_message* message, void* userdata, sd_bus_error*);
    template <typename Body>
    int guarded(Body body);

    void apply(const Connection::Steps& steps);
    void call(const Connection::Step& step);
    Reply replyTo(Connection::Call call);
    Connection::Objects readObjects(sd_bus_message* reply);
    using Appender = platform::linux_::BluezCalls::Appender;
    void att(Role role, const char* method, const Appender& append,
             std::function<void(sd_bus_message*)> success);

    platform::linux_::EventLoop& loop_;
    Events events_;
    std::ostream& trace_;
    Connection connection_;
    platform::linux_::BusOwner bus_;
    std::vector<platform::linux_::SlotOwner> watches_;
    platform::linux_::BluezCalls calls_;
    std::unique_ptr<platform::Timer> timeout_;
    std::unique_ptr<platform::Timer> rescan_;
    std::uint64_t exitTaskId_ = 0;
    std::optional<platform::linux_::PairingAgent> pairingAgent_;
};

}  // namespace quorla::remote

#pragma once

#include <systemd/sd-bus.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "platform/linux/bluez/adapter_choice.hpp"
#include "platform/linux/bluez/bluez_calls.hpp"
#include "platform/linux/bus/event_loop.hpp"
#include "platform/linux/bus/sd_owners.hpp"
#include "platform/linux/pairing/pairing_agent.hpp"
#include "platform/linux/remote/gatt_layout.hpp"
#include "platform/uuid.hpp"

namespace quorla::remote {

using Bytes = std::vector<std::uint8_t>;

// The companion's side over BlueZ's D-Bus API on the system bus: finds the agent by its
// service UUID, connects, checks the layout, then reads, writes and subscribes as the phone
// does. Every call to BlueZ is asynchronous. When the loop terminates it leaves BlueZ as it
// found it: a discovery it started is stopped, a device it connected is disconnected.
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
    void writeCommand(Role role, std::uint8_t value, std::function<void()> done);
    void subscribe(Role role, std::function<void()> done);
    // Pairs with the agent through a pairing agent of our own, which confirms the passkey it
    // is shown: the person at the computer compares it. done hears whether it was paired
    // before.
    void pair(std::function<void(bool wasPaired)> done);

  private:
    enum class Phase { starting, scanning, connecting, resolving, ready, failed };
    struct Device {
        std::string adapterPath;
        std::string address;
        std::vector<std::string> uuids;
        bool isConnected = false;
        bool areServicesResolved = false;
        bool isPaired = false;
        bool wasSeenInRange = false;  // advertised (RSSI) since our scan began
    };
    using Reply = platform::linux_::BluezCalls::Reply;

    static int onNameOwnerChanged(sd_bus_message* message, void* userdata, sd_bus_error*);
    static int onInterfacesAdded(sd_bus_message* message, void* userdata, sd_bus_error*);
    static int onInterfacesRemoved(sd_bus_message* message, void* userdata, sd_bus_error*);
    static int onPropertiesChanged(sd_bus_message* message, void* userdata, sd_bus_error*);
    static int onTimeout(sd_event_source*, std::uint64_t, void* userdata);
    static int onRescan(sd_event_source*, std::uint64_t, void* userdata);
    template <typename Body>
    int guarded(Body body);

    Reply orFail(std::string what, std::function<void(sd_bus_message*)> success);
    platform::linux_::EventSourceOwner after(std::chrono::duration<double> delay,
                                             sd_event_time_handler_t handler);

    void readObjects(sd_bus_message* reply);
    void readDevice(Device& device, sd_bus_message* properties);
    void objectsRead();
    void startScan();
    void restartScan();
    void stopScan(std::function<void()> then = nullptr);
    void consider(const std::string& path);
    void connect(const std::string& path, bool isFromCache);
    void connected();
    void resolve();
    void passOver(const std::string& why);
    void linkLost(const std::string& why);
    Reply orFailAtt(std::string what, std::function<void(sd_bus_message*)> success);
    bool isPairingRequired() const;
    void fail(const std::string& line);
    void leave(std::function<void()> finished);
    std::string timeoutLine() const;
    const std::string& address() const;

    platform::linux_::EventLoop& loop_;
    Target target_;
    std::string serviceText_;  // lower case, as BlueZ writes UUIDs
    Events events_;
    std::ostream& trace_;
    platform::linux_::BusOwner bus_;
    std::vector<platform::linux_::SlotOwner> watches_;
    platform::linux_::BluezCalls calls_;
    platform::linux_::EventSourceOwner timeout_;
    platform::linux_::EventSourceOwner rescan_;
    std::uint64_t exitTaskId_ = 0;

    Phase phase_ = Phase::starting;
    // Object path -> powered, in the agent's order, so that "the first adapter" is the same
    // one for both programs.
    std::map<std::string, bool, platform::linux_::NaturalLess> adapters_;
    std::map<std::string, Device> devices_;
    ReportedGatt gatt_;
    std::string adapterPath_;
    std::string devicePath_;
    bool isDiscovering_ = false;       // a discovery of ours is running
    bool isConnectRequested_ = false;  // and the device was not connected before
    bool isCandidate_ = false;         // connected without our service listed
    std::set<std::string> triedDevices_;
    CharacteristicPaths paths_;
    int readsInFlight_ = 0;
    int attInFlight_ = 0;  // reads, writes and subscriptions BlueZ has not answered yet
    std::optional<platform::linux_::PairingAgent> pairingAgent_;
};

}  // namespace quorla::remote

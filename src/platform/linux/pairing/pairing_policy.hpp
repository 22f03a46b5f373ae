#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "platform/linux/bluez/bluez_calls.hpp"
#include "platform/linux/bus/event_loop.hpp"
#include "platform/linux/bus/sd_owners.hpp"
#include "platform/linux/pairing/pairing_agent.hpp"

namespace quorla::platform::linux_ {

// Who may pair with the agent, as the person at its console decides. While only paired
// companions may get in, the agent is BlueZ's default pairing agent: each request to pair
// is shown with the device and its passkey and waits for pair-accept or pair-reject, and
// one left unanswered for pairingAnswerTime is rejected. `paired` and `unpair ADDRESS` work
// in either mode, on the bonds of the adapter the agent publishes on.
class PairingPolicy {
  public:
    // adapterInUse: where the agent publishes; requests for other adapters are not its to
    // grant. Throws when there is no system bus.
    PairingPolicy(EventLoop& loop, bool isPairingRequired,
                  std::function<std::optional<std::string>()> adapterInUse, std::ostream& trace);
    PairingPolicy(const PairingPolicy&) = delete;
    PairingPolicy& operator=(const PairingPolicy&) = delete;

    void answer(bool isAccepted);
    void listPaired();
    void unpair(std::string_view address);

  private:
    struct Device {
        std::string path;
        std::string address;
        std::string name;
    };
    using DevicesRead = std::function<void(const std::vector<Device>&)>;

    static int onBluezOwner(sd_bus_message* message, void* userdata, sd_bus_error*);
    void serve();
    void asked(const PairingAgent::Question& question);
    void settle(bool isAccepted, std::string_view said);
    void withdrawn(std::uint64_t id);
    void readBondedDevices(DevicesRead read);
    void remove(const Device& device);

    EventLoop& loop_;
    std::function<std::optional<std::string>()> adapterInUse_;
    std::ostream& trace_;
    BusOwner bus_;
    BluezCalls calls_;
    std::optional<PairingAgent> agent_;
    SlotOwner bluezWatch_;
    std::optional<PairingAgent::Question> waiting_;
    std::unique_ptr<platform::Timer> expiry_;
};

}  // namespace quorla::platform::linux_

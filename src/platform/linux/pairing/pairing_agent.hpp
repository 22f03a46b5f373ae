#pragma once

#include <systemd/sd-bus.h>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>

#include "platform/linux/bluez/bluez_calls.hpp"
#include "platform/linux/bluez/bluez_owner.hpp"
#include "platform/linux/bus/sd_owners.hpp"
#include "platform/main_queue.hpp"

namespace quorla::platform::linux_ {

// How long the person at the agent has to accept a request to pair before it is rejected.
// A central pairing with the agent waits longer, so that the refusal is what it hears.
inline constexpr platform::Seconds pairingAnswerTime{30};

// A BlueZ pairing agent (org.bluez.Agent1) at one object path. BlueZ asks it whether a
// pairing may go ahead; it hands each question to its owner, who answers now or later. The
// agent agrees to nothing by itself: what it cannot ask (a PIN, a passkey to type, a
// service) it rejects.
class PairingAgent {
  public:
    struct Question {
        std::uint64_t id = 0;
        std::string device;                  // BlueZ's object path of the device
        std::optional<std::string> passkey;  // six digits; none: Just Works, nothing to compare
    };
    struct Handlers {
        std::function<void(const Question&)> asked;
        // BlueZ gave up on the question (the pairing failed or timed out): no answer is due.
        std::function<void(std::uint64_t id)> withdrawn;
    };

    // capability: BlueZ's IO capability, such as "DisplayYesNo". The default agent is the
    // one BlueZ asks for pairings that nobody started through an agent of their own. Only
    // the bluetoothd that answered the registration is believed.
    PairingAgent(sd_bus* bus, const char* path, const char* capability, bool isDefault,
                 Handlers handlers, std::ostream& trace);
    PairingAgent(const PairingAgent&) = delete;
    PairingAgent& operator=(const PairingAgent&) = delete;

    // Asks BlueZ to use the agent; again after bluetoothd has restarted. done hears the
    // error, or none.
    void registerWithBluez(std::function<void(std::optional<std::string> error)> done);
    // False when no such question is waiting.
    bool answer(std::uint64_t id, bool isAccepted);

    // "hci0 00:AA:01:01:00:01" of BlueZ's /org/bluez/hci0/dev_00_AA_01_01_00_01.
    static std::string describe(const std::string& devicePath);

  private:
    static int onQuestion(sd_bus_message* call, void* userdata, sd_bus_error* error);
    static int onDisplay(sd_bus_message* call, void* userdata, sd_bus_error* error);
    static int onRefused(sd_bus_message* call, void* userdata, sd_bus_error* error);
    static int onCancel(sd_bus_message* call, void* userdata, sd_bus_error* error);
    static int onRelease(sd_bus_message* call, void* userdata, sd_bus_error* error);
    static const sd_bus_vtable* vtable();
    void call(const char* method, std::function<void(std::optional<std::string>)> done);

    sd_bus* bus_;
    const char* path_;
    const char* capability_;
    bool isDefault_;
    Handlers handlers_;
    std::ostream& trace_;
    BluezOwner bluez_;
    SlotOwner guard_;
    SlotOwner object_;
    BluezCalls calls_;
    std::uint64_t nextId_ = 1;
    std::map<std::uint64_t, MessageOwner> questions_;
};

}  // namespace quorla::platform::linux_

#include "platform/linux/pairing/pairing_policy.hpp"

#include <algorithm>
#include <cctype>
#include <utility>

#include "platform/linux/bus/bus_calls.hpp"
#include "platform/linux/bus/bus_messages.hpp"
#include "platform/linux/bus/entry_guard.hpp"

namespace quorla::platform::linux_ {

namespace {

constexpr const char* agentPath = "/org/quorla/pairing_agent";

// BlueZ's form of an address, or none when text is not one.
std::optional<std::string> deviceAddress(std::string_view text) {
    std::string address;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool isColon = i % 3 == 2;
        const auto c = static_cast<unsigned char>(text[i]);
        if (isColon ? c != ':' : !std::isxdigit(c))
            return std::nullopt;
        address += static_cast<char>(std::toupper(c));
    }
    return address.size() == 17 ? std::optional(address) : std::nullopt;
}

}  // namespace

PairingPolicy::PairingPolicy(EventLoop& loop, bool isPairingRequired,
                             std::function<std::optional<std::string>()> adapterInUse,
                             std::ostream& trace)
    : loop_(loop),
      adapterInUse_(std::move(adapterInUse)),
      trace_(trace),
      bus_(openSystemBus()),
      calls_(bus_.get(), [this](const std::exception& failure) {
          trace_ << "pairing: " << failure.what() << '\n';
      }) {
    check(sd_bus_attach_event(bus_.get(), loop.event(), SD_EVENT_PRIORITY_NORMAL),
          "sd_bus_attach_event");
    if (!isPairingRequired)
        return;
    agent_.emplace(bus_.get(), agentPath, "DisplayYesNo", true,
                   PairingAgent::Handlers{[this](const auto& question) { asked(question); },
                                          [this](std::uint64_t id) { withdrawn(id); }},
                   trace);
    // A restarted bluetoothd has forgotten its agents.
    bluezWatch_ = addMatch(bus_.get(), bluezOwnerChangedRule, &onBluezOwner, this);
    serve();
}

int PairingPolicy::onBluezOwner(sd_bus_message* message, void* userdata, sd_bus_error*) {
    auto& self = *static_cast<PairingPolicy*>(userdata);
    return guardInput(self.trace_, "pairing", nullptr, [&] {
        if (!readNewOwner(message).empty())
            self.serve();
        return 0;
    });
}

void PairingPolicy::serve() {
    agent_->registerWithBluez([this](std::optional<std::string> error) {
        // Without bluetoothd the peripheral says so; the agent registers once it comes.
        if (error && error->starts_with(dbus::error::prefix))
            return;
        if (error)
            trace_ << "pairing: BlueZ refused the pairing agent (" << *error
                   << "); no companion can pair\n";
        else
            trace_ << "pairing: only paired companions get in; requests to pair are shown "
                      "here\n";
    });
}

// ---- Requests to pair ----

void PairingPolicy::asked(const PairingAgent::Question& question) {
    const auto who = PairingAgent::describe(question.device);
    const auto adapter = adapterInUse_();
    if (adapter && bluez::adapterOfDevice(question.device) != *adapter) {
        agent_->answer(question.id, false);
        trace_ << "pairing: " << who << " asked to pair; rejected: the agent grants pairing only "
               << "on the adapter it publishes on\n";
        return;
    }
    if (waiting_) {
        agent_->answer(question.id, false);
        trace_ << "pairing: " << who << " asked to pair while another request waits; rejected\n";
        return;
    }
    waiting_ = question;
    expiry_ = loop_.scheduleTimer(pairingAnswerTime,
                                  [this] { settle(false, "no answer in time; rejected"); });
    trace_ << "pairing: " << who << " asks to pair";
    if (question.passkey) {
        trace_ << " with passkey " << *question.passkey
               << ". If the companion shows the same passkey, ";
    } else {
        trace_ << " (it has no display, so there is no passkey to compare). If you are pairing "
                  "it, ";
    }
    trace_ << "type pair-accept; otherwise pair-reject (rejected in " << pairingAnswerTime.count()
           << " s)\n";
}

void PairingPolicy::answer(bool isAccepted) {
    if (!waiting_) {
        trace_ << "pairing: no request to pair is waiting\n";
        return;
    }
    settle(isAccepted, isAccepted ? "accepted" : "rejected");
}

void PairingPolicy::settle(bool isAccepted, std::string_view said) {
    const auto question = *std::exchange(waiting_, std::nullopt);
    auto expiry = std::move(expiry_);  // this may be its callback: freed on the way out
    agent_->answer(question.id, isAccepted);
    trace_ << "pairing: " << said << ' ' << PairingAgent::describe(question.device) << '\n';
}

void PairingPolicy::withdrawn(std::uint64_t id) {
    if (!waiting_ || waiting_->id != id)
        return;
    trace_ << "pairing: " << PairingAgent::describe(waiting_->device)
           << " no longer asks to pair (it gave up, or the pairing failed)\n";
    waiting_.reset();
    expiry_.reset();
}

// ---- Bonded devices ----

void PairingPolicy::readBondedDevices(DevicesRead read) {
    calls_.call(
        "/", dbus::objectManagerInterface, "GetManagedObjects", nullptr,
        [this, read](sd_bus_message* reply, const sd_bus_error* error) {
            if (error) {
                trace_ << "pairing: cannot ask BlueZ for its devices: " << errorText(error) << '\n';
                return;
            }
            std::vector<Device> devices;
            readObjects(reply, [&](const std::string& path) {
                Device device{path, {}, {}};
                bool isBonded = false;
                readInterfaces(reply, [&](const std::string& interface) {
                    if (interface != bluez::deviceInterface)
                        return false;
                    readProperties(reply,
                                   {{"Address", "s", [&] { device.address = readString(reply); }},
                                    {"Alias", "s", [&] { device.name = readString(reply); }},
                                    {"Bonded", "b", [&] { isBonded = readBool(reply); }}});
                    return true;
                });
                const auto adapter = adapterInUse_();
                if (isBonded && (!adapter || bluez::adapterOfDevice(path) == *adapter))
                    devices.push_back(device);
            });
            read(devices);
        });
}

void PairingPolicy::listPaired() {
    readBondedDevices([this](const std::vector<Device>& devices) {
        if (devices.empty())
            trace_ << "paired: no device is paired with this computer\n";
        for (const auto& device : devices)
            trace_ << "paired: " << PairingAgent::describe(device.path) << " (" << device.name
                   << ")\n";
    });
}

void PairingPolicy::unpair(std::string_view text) {
    const auto address = deviceAddress(text);
    if (!address) {
        trace_ << "console: unpair needs a device address such as 00:11:22:33:44:55\n";
        return;
    }
    readBondedDevices([this, address = *address](const std::vector<Device>& devices) {
        bool isFound = false;
        for (const auto& device : devices)
            if (device.address == address) {
                isFound = true;
                remove(device);
            }
        if (!isFound)
            trace_ << "pairing: " << address << " is not paired with this computer\n";
    });
}

void PairingPolicy::remove(const Device& device) {
    const auto who = PairingAgent::describe(device.path);
    calls_.call(
        bluez::adapterOfDevice(device.path), bluez::adapterInterface, "RemoveDevice",
        [&](sd_bus_message* call) {
            check(sd_bus_message_append(call, "o", device.path.c_str()), "sd_bus_message_append");
        },
        [this, who](sd_bus_message*, const sd_bus_error* error) {
            if (error)
                trace_ << "pairing: cannot forget " << who << ": " << errorText(error) << '\n';
            else
                trace_ << "pairing: forgot " << who << "; it has to pair again to get in\n";
        });
}

}  // namespace quorla::platform::linux_

#include "platform/linux/pairing/pairing_agent.hpp"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "platform/linux/bus/bus_calls.hpp"

namespace quorla::platform::linux_ {

namespace {

constexpr const char* rejected = "org.bluez.Error.Rejected";

std::string sixDigits(std::uint32_t passkey) {
    char text[16];
    std::snprintf(text, sizeof text, "%06u", passkey);
    return text;
}

}  // namespace

PairingAgent::PairingAgent(sd_bus* bus, const char* path, const char* capability, bool isDefault,
                           Handlers handlers, std::ostream& trace)
    : bus_(bus),
      path_(path),
      capability_(capability),
      isDefault_(isDefault),
      handlers_(std::move(handlers)),
      trace_(trace),
      calls_(bus, [this](const std::exception& failure) {
          trace_ << "pairing: " << failure.what() << '\n';
      }) {
    sd_bus_slot* slot = nullptr;
    check(sd_bus_add_object_vtable(bus, &slot, path, "org.bluez.Agent1", vtable(), this),
          "sd_bus_add_object_vtable");
    object_.reset(slot);
}

std::string PairingAgent::describe(const std::string& devicePath) {
    constexpr std::string_view root = "/org/bluez/";
    const auto device = devicePath.find("/dev_");
    if (!devicePath.starts_with(root) || device == std::string::npos)
        return devicePath;
    auto address = devicePath.substr(device + 5);
    std::replace(address.begin(), address.end(), '_', ':');
    return address + " on " + devicePath.substr(root.size(), device - root.size());
}

// ---- Registering ----

void PairingAgent::registerWithBluez(std::function<void(std::optional<std::string>)> done) {
    call("RegisterAgent", [this, done](std::optional<std::string> error) {
        // Registered already, by an earlier call to this bluetoothd.
        if (error && !error->starts_with("org.bluez.Error.AlreadyExists"))
            return done(error);
        if (!isDefault_)
            return done(std::nullopt);
        call("RequestDefaultAgent", done);
    });
}

void PairingAgent::call(const char* method, std::function<void(std::optional<std::string>)> done) {
    const bool isRegistering = std::string_view(method) == "RegisterAgent";
    calls_.call(
        "/org/bluez", "org.bluez.AgentManager1", method,
        [&](sd_bus_message* message) {
            check(sd_bus_message_append(message, "o", path_), "sd_bus_message_append");
            if (isRegistering)
                check(sd_bus_message_append(message, "s", capability_), "sd_bus_message_append");
        },
        [done = std::move(done)](sd_bus_message*, const sd_bus_error* error) {
            done(error ? std::optional(errorText(error)) : std::nullopt);
        });
}

// ---- BlueZ's questions ----

bool PairingAgent::answer(std::uint64_t id, bool isAccepted) {
    auto question = questions_.extract(id);
    if (question.empty())
        return false;
    sd_bus_message* call = question.mapped().get();
    const int r = isAccepted ? sd_bus_reply_method_return(call, "")
                             : sd_bus_reply_method_errorf(call, rejected, "pairing rejected");
    if (r < 0)
        trace_ << "pairing: the answer could not be sent: " << std::strerror(-r) << '\n';
    return true;
}

int PairingAgent::onQuestion(sd_bus_message* call, void* userdata, sd_bus_error* error) {
    auto& self = *static_cast<PairingAgent*>(userdata);
    return guarded(self.trace_, error, [&] {
        const char* device = nullptr;
        check(sd_bus_message_read_basic(call, 'o', &device), "sd_bus_message_read_basic");
        Question question{self.nextId_++, device, std::nullopt};
        if (sd_bus_message_is_method_call(call, nullptr, "RequestConfirmation")) {
            std::uint32_t passkey = 0;
            check(sd_bus_message_read_basic(call, 'u', &passkey), "sd_bus_message_read_basic");
            question.passkey = sixDigits(passkey);
        }
        self.questions_.emplace(question.id, MessageOwner(sd_bus_message_ref(call)));
        self.handlers_.asked(question);
        return 1;
    });
}

// Shown by the other side's agent too; nothing to decide here.
int PairingAgent::onDisplay(sd_bus_message* call, void* userdata, sd_bus_error* error) {
    auto& self = *static_cast<PairingAgent*>(userdata);
    return guarded(self.trace_, error, [&] {
        const char* device = nullptr;
        check(sd_bus_message_read_basic(call, 'o', &device), "sd_bus_message_read_basic");
        std::string code;
        if (sd_bus_message_is_method_call(call, nullptr, "DisplayPasskey")) {
            std::uint32_t passkey = 0;
            check(sd_bus_message_read_basic(call, 'u', &passkey), "sd_bus_message_read_basic");
            code = sixDigits(passkey);
        } else {
            const char* pin = nullptr;
            check(sd_bus_message_read_basic(call, 's', &pin), "sd_bus_message_read_basic");
            code = pin;
        }
        self.trace_ << "pairing: " << describe(device) << " is to enter " << code << '\n';
        return sd_bus_reply_method_return(call, "");
    });
}

int PairingAgent::onRefused(sd_bus_message* call, void* userdata, sd_bus_error* error) {
    auto& self = *static_cast<PairingAgent*>(userdata);
    return guarded(self.trace_, error, [&] {
        const char* device = nullptr;
        check(sd_bus_message_read_basic(call, 'o', &device), "sd_bus_message_read_basic");
        self.trace_ << "pairing: " << describe(device) << " asked for "
                    << sd_bus_message_get_member(call)
                    << "; rejected: this agent only compares passkeys\n";
        return sd_bus_error_set_const(error, rejected, "not supported by this agent");
    });
}

int PairingAgent::onCancel(sd_bus_message* call, void* userdata, sd_bus_error* error) {
    auto& self = *static_cast<PairingAgent*>(userdata);
    return guarded(self.trace_, error, [&] {
        for (auto& [id, _] : std::exchange(self.questions_, {}))
            self.handlers_.withdrawn(id);
        return sd_bus_reply_method_return(call, "");
    });
}

int PairingAgent::onRelease(sd_bus_message* call, void* userdata, sd_bus_error* error) {
    auto& self = *static_cast<PairingAgent*>(userdata);
    return guarded(self.trace_, error, [&] {
        self.trace_ << "pairing: BlueZ no longer uses the pairing agent\n";
        return sd_bus_reply_method_return(call, "");
    });
}

const sd_bus_vtable* PairingAgent::vtable() {
    static const sd_bus_vtable vtable[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_METHOD("Release", "", "", &onRelease, 0),
        SD_BUS_METHOD("RequestPinCode", "o", "s", &onRefused, 0),
        SD_BUS_METHOD("DisplayPinCode", "os", "", &onDisplay, 0),
        SD_BUS_METHOD("RequestPasskey", "o", "u", &onRefused, 0),
        SD_BUS_METHOD("DisplayPasskey", "ouq", "", &onDisplay, 0),
        SD_BUS_METHOD("RequestConfirmation", "ou", "", &onQuestion, 0),
        SD_BUS_METHOD("RequestAuthorization", "o", "", &onQuestion, 0),
        SD_BUS_METHOD("AuthorizeService", "os", "", &onRefused, 0),
        SD_BUS_METHOD("Cancel", "", "", &onCancel, 0),
        SD_BUS_VTABLE_END,
    };
    return vtable;
}

}  // namespace quorla::platform::linux_

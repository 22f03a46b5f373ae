#include "platform/linux/pairing/pairing_agent.hpp"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "platform/linux/bluez/adapter_choice.hpp"
#include "platform/linux/bus/bus_calls.hpp"
#include "platform/linux/bus/entry_guard.hpp"

namespace quorla::platform::linux_ {

namespace {

using bluez::error::rejected;

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
      bluez_(trace, "pairing"),
      guard_(bluez_.guard(bus, path)),
      calls_(bus, [this](const std::exception& failure) {
          trace_ << "pairing: " << failure.what() << '\n';
      }) {
    sd_bus_slot* slot = nullptr;
    check(sd_bus_add_object_vtable(bus, &slot, path, bluez::agentInterface, vtable(), this),
          "sd_bus_add_object_vtable");
    object_.reset(slot);
}

std::string PairingAgent::describe(const std::string& devicePath) {
    const auto address = bluez::addressOfDevice(devicePath);
    return address ? *address + " on " + adapterName(bluez::adapterOfDevice(devicePath))
                   : devicePath;
}

// ---- Registering ----

void PairingAgent::registerWithBluez(std::function<void(std::optional<std::string>)> done) {
    call("RegisterAgent", [this, done](std::optional<std::string> error) {
        // Registered already, by an earlier call to this bluetoothd.
        if (error && !error->starts_with(bluez::error::alreadyExists))
            return done(error);
        if (!isDefault_)
            return done(std::nullopt);
        call("RequestDefaultAgent", done);
    });
}

void PairingAgent::call(const char* method, std::function<void(std::optional<std::string>)> done) {
    const bool isRegistering = std::string_view(method) == "RegisterAgent";
    calls_.call(
        bluez::root, bluez::agentManagerInterface, method,
        [&](sd_bus_message* message) {
            check(sd_bus_message_append(message, "o", path_), "sd_bus_message_append");
            if (isRegistering)
                check(sd_bus_message_append(message, "s", capability_), "sd_bus_message_append");
        },
        [this, done = std::move(done)](sd_bus_message* reply, const sd_bus_error* error) {
            bluez_.setFromReply(reply);
            done(error ? std::optional(errorText(error)) : std::nullopt);
        });
}

// ---- BlueZ's questions ----

bool PairingAgent::answer(std::uint64_t id, bool isAccepted) {
    auto question = questions_.extract(id);
    if (question.empty())
        return false;
    sd_bus_message* call = question.mapped().get();
    // An answer that cannot be sent means the bus is broken (entry_guard.hpp).
    if (isAccepted)
        check(sd_bus_reply_method_return(call, ""), "sd_bus_reply_method_return");
    else
        check(sd_bus_reply_method_errorf(call, rejected, "pairing rejected"),
              "sd_bus_reply_method_errorf");
    return true;
}

int PairingAgent::onQuestion(sd_bus_message* call, void* userdata, sd_bus_error* error) {
    auto& self = *static_cast<PairingAgent*>(userdata);
    return guardInput(self.trace_, "pairing", error, [&] {
        const char* device = nullptr;
        checkRead(sd_bus_message_read_basic(call, 'o', &device), "sd_bus_message_read_basic");
        Question question{self.nextId_++, device, std::nullopt};
        if (sd_bus_message_is_method_call(call, nullptr, "RequestConfirmation")) {
            std::uint32_t passkey = 0;
            checkRead(sd_bus_message_read_basic(call, 'u', &passkey), "sd_bus_message_read_basic");
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
    return guardInput(self.trace_, "pairing", error, [&] {
        const char* device = nullptr;
        checkRead(sd_bus_message_read_basic(call, 'o', &device), "sd_bus_message_read_basic");
        std::string code;
        if (sd_bus_message_is_method_call(call, nullptr, "DisplayPasskey")) {
            std::uint32_t passkey = 0;
            checkRead(sd_bus_message_read_basic(call, 'u', &passkey), "sd_bus_message_read_basic");
            code = sixDigits(passkey);
        } else {
            const char* pin = nullptr;
            checkRead(sd_bus_message_read_basic(call, 's', &pin), "sd_bus_message_read_basic");
            code = pin;
        }
        self.trace_ << "pairing: " << describe(device) << " is to enter " << code << '\n';
        return check(sd_bus_reply_method_return(call, ""), "sd_bus_reply_method_return");
    });
}

int PairingAgent::onRefused(sd_bus_message* call, void* userdata, sd_bus_error* error) {
    auto& self = *static_cast<PairingAgent*>(userdata);
    return guardInput(self.trace_, "pairing", error, [&] {
        const char* device = nullptr;
        checkRead(sd_bus_message_read_basic(call, 'o', &device), "sd_bus_message_read_basic");
        self.trace_ << "pairing: " << describe(device) << " asked for "
                    << sd_bus_message_get_member(call)
                    << "; rejected: this agent only compares passkeys\n";
        return sd_bus_error_set_const(error, rejected, "not supported by this agent");
    });
}

int PairingAgent::onCancel(sd_bus_message* call, void* userdata, sd_bus_error* error) {
    auto& self = *static_cast<PairingAgent*>(userdata);
    return guardInput(self.trace_, "pairing", error, [&] {
        for (auto& [id, _] : std::exchange(self.questions_, {}))
            self.handlers_.withdrawn(id);
        return check(sd_bus_reply_method_return(call, ""), "sd_bus_reply_method_return");
    });
}

int PairingAgent::onRelease(sd_bus_message* call, void* userdata, sd_bus_error* error) {
    auto& self = *static_cast<PairingAgent*>(userdata);
    return guardInput(self.trace_, "pairing", error, [&] {
        self.trace_ << "pairing: BlueZ no longer uses the pairing agent\n";
        return check(sd_bus_reply_method_return(call, ""), "sd_bus_reply_method_return");
    });
}

const sd_bus_vtable* PairingAgent::vtable() {
    static const sd_bus_vtable vtable[] = {
        SD_BUS_VTABLE_START(0),
        // Unprivileged: sd-bus asks the bus daemon nothing, since the object's guard has let
        // only bluetoothd through (BluezOwner).
        SD_BUS_METHOD("Release", "", "", &onRelease, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_METHOD("RequestPinCode", "o", "s", &onRefused, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_METHOD("DisplayPinCode", "os", "", &onDisplay, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_METHOD("RequestPasskey", "o", "u", &onRefused, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_METHOD("DisplayPasskey", "ouq", "", &onDisplay, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_METHOD("RequestConfirmation", "ou", "", &onQuestion, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_METHOD("RequestAuthorization", "o", "", &onQuestion, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_METHOD("AuthorizeService", "os", "", &onRefused, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_METHOD("Cancel", "", "", &onCancel, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_VTABLE_END,
    };
    return vtable;
}

}  // namespace quorla::platform::linux_

#include "bluez/harness/mock_bluez.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "bluez/harness/child_process.hpp"
#include "bluez/harness/private_bus.hpp"

namespace quorla::testing {

using platform::linux_::check;
using platform::linux_::MessageOwner;
using platform::linux_::SlotOwner;

namespace {

constexpr auto replyDeadline = std::chrono::seconds(5);
constexpr auto pollInterval = std::chrono::milliseconds(10);

void appendString(sd_bus_message* message, const std::string& text) {
    check(sd_bus_message_append(message, "s", text.c_str()), "sd_bus_message_append");
}

void appendNothing(sd_bus_message*) {}

}  // namespace

MockBluez::MockBluez(const PrivateBus& bus, sd_event* event) : event_(event) {
    if (event_ == nullptr) {
        sd_event* created = nullptr;
        check(sd_event_new(&created), "sd_event_new");
        ownEvent_.reset(created);
        event_ = created;
    }

    Pipe ready;
    process_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{QUORLA_SYSTEM_PYTHON, QUORLA_MOCK_BLUEZ_SCRIPT, "--bus",
                                 bus.address(), "--ready-fd", std::to_string(ready.writeEnd)},
        ready.writeEnd);
    ready.closeWriteEnd();
    try {
        readLine(ready.readEnd, std::chrono::steady_clock::now() + std::chrono::seconds(10),
                 "the readiness of mock_bluez.py");
    } catch (const std::runtime_error& error) {
        throw std::runtime_error(std::string(error.what()) + " (" + process_->status() + ")");
    }

    sd_bus* connection = nullptr;
    check(sd_bus_new(&connection), "sd_bus_new");
    bus_.reset(connection);
    check(sd_bus_set_address(connection, bus.address().c_str()), "sd_bus_set_address");
    check(sd_bus_set_bus_client(connection, 1), "sd_bus_set_bus_client");
    check(sd_bus_start(connection), "sd_bus_start");
    check(sd_bus_attach_event(connection, event_, SD_EVENT_PRIORITY_NORMAL), "sd_bus_attach_event");
}

MockBluez::~MockBluez() = default;

bool MockBluez::runLoop(const std::function<bool()>& done,
                        std::chrono::steady_clock::time_point deadline) {
    while (!done()) {
        const auto left = deadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero())
            return false;
        const auto wait = std::chrono::duration_cast<std::chrono::microseconds>(
            std::min<std::chrono::steady_clock::duration>(left, pollInterval));
        check(sd_event_run(event_, static_cast<std::uint64_t>(wait.count())), "sd_event_run");
    }
    return true;
}

bool MockBluez::runUntil(const std::function<bool()>& predicate,
                         std::chrono::milliseconds deadline) {
    if (runLoop(predicate, std::chrono::steady_clock::now() + deadline))
        return true;
    ADD_FAILURE() << "condition not met within " << deadline.count() << " ms";
    return false;
}

MessageOwner MockBluez::call(const char* method,
                             const std::function<void(sd_bus_message*)>& append) {
    sd_bus_message* raw = nullptr;
    check(sd_bus_message_new_method_call(bus_.get(), &raw, "org.quorla.MockBluez", "/",
                                         "org.quorla.MockBluez1", method),
          "sd_bus_message_new_method_call");
    MessageOwner message(raw);
    append(raw);

    MessageOwner reply;
    auto onReply = [](sd_bus_message* answer, void* userdata, sd_bus_error*) -> int {
        static_cast<MessageOwner*>(userdata)->reset(sd_bus_message_ref(answer));
        return 0;
    };
    sd_bus_slot* slot = nullptr;
    const auto timeout = std::chrono::duration_cast<std::chrono::microseconds>(replyDeadline);
    check(sd_bus_call_async(bus_.get(), &slot, raw, onReply, &reply,
                            static_cast<std::uint64_t>(timeout.count()) + 1000000),
          "sd_bus_call_async");
    SlotOwner pending(slot);
    if (!runLoop([&] { return reply != nullptr; },
                 std::chrono::steady_clock::now() + replyDeadline))
        throw std::runtime_error(std::string("MockBluez ") + method + ": no reply within 5 s (" +
                                 process_->status() + ")");
    if (const sd_bus_error* error = sd_bus_message_get_error(reply.get()))
        throw std::runtime_error(std::string("MockBluez ") + method + ": " + error->name + ": " +
                                 (error->message ? error->message : ""));
    return reply;
}

std::string MockBluez::callForText(const char* method,
                                   const std::function<void(sd_bus_message*)>& append) {
    MessageOwner reply = call(method, append);
    const char* text = nullptr;
    check(sd_bus_message_read(reply.get(), "s", &text), "sd_bus_message_read");
    return text;
}

nlohmann::json MockBluez::state() {
    return nlohmann::json::parse(callForText("State", appendNothing));
}

void MockBluez::addAdapter(const std::string& name, bool powered) {
    call("AddAdapter", [&](sd_bus_message* message) {
        check(sd_bus_message_append(message, "sb", name.c_str(), static_cast<int>(powered)),
              "sd_bus_message_append");
    });
}

void MockBluez::removeAdapter(const std::string& name) {
    call("RemoveAdapter", [&](sd_bus_message* message) { appendString(message, name); });
}

void MockBluez::setPowered(const std::string& name, bool powered) {
    call("SetPowered", [&](sd_bus_message* message) {
        check(sd_bus_message_append(message, "sb", name.c_str(), static_cast<int>(powered)),
              "sd_bus_message_append");
    });
}

void MockBluez::stopDaemon() {
    call("StopDaemon", appendNothing);
}

void MockBluez::startDaemon() {
    call("StartDaemon", appendNothing);
}

void MockBluez::setReplyDelay(std::chrono::milliseconds delay) {
    call("SetReplyDelay", [&](sd_bus_message* message) {
        check(sd_bus_message_append(message, "u", static_cast<std::uint32_t>(delay.count())),
              "sd_bus_message_append");
    });
}

nlohmann::json MockBluez::readValue(const std::string& uuid, std::uint16_t offset) {
    return nlohmann::json::parse(callForText("ReadValue", [&](sd_bus_message* message) {
        check(sd_bus_message_append(message, "sq", uuid.c_str(), offset), "sd_bus_message_append");
    }));
}

nlohmann::json MockBluez::writeValue(const std::string& uuid,
                                     const std::vector<std::uint8_t>& value) {
    return nlohmann::json::parse(callForText("WriteValue", [&](sd_bus_message* message) {
        appendString(message, uuid);
        check(sd_bus_message_append_array(message, 'y', value.data(), value.size()),
              "sd_bus_message_append_array");
    }));
}

nlohmann::json MockBluez::startNotify(const std::string& uuid) {
    return nlohmann::json::parse(
        callForText("StartNotify", [&](sd_bus_message* message) { appendString(message, uuid); }));
}

nlohmann::json MockBluez::stopNotify(const std::string& uuid) {
    return nlohmann::json::parse(
        callForText("StopNotify", [&](sd_bus_message* message) { appendString(message, uuid); }));
}

nlohmann::json MockBluez::callMalformed(const std::string& uuid, const std::string& kind) {
    return nlohmann::json::parse(callForText("CallMalformed", [&](sd_bus_message* message) {
        check(sd_bus_message_append(message, "ss", uuid.c_str(), kind.c_str()),
              "sd_bus_message_append");
    }));
}

}  // namespace quorla::testing

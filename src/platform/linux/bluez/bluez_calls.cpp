#include "platform/linux/bluez/bluez_calls.hpp"

#include <iterator>
#include <utility>

#include "platform/linux/bus/bus_calls.hpp"
#include "platform/linux/bus/entry_guard.hpp"

namespace quorla::platform::linux_ {

BluezCalls::BluezCalls(sd_bus* bus, std::function<void(const std::exception&)> failed)
    : bus_(bus), failed_(std::move(failed)) {}

void BluezCalls::call(const std::string& path, const char* interface, const char* member,
                      const Appender& append, Reply reply, std::chrono::seconds timeout) {
    const auto message = newBluezCall(bus_, path.c_str(), interface, member);
    if (append)
        append(message.get());
    auto& entry = calls_.emplace_back(Call{this, {}, {}, std::move(reply)});
    entry.self = std::prev(calls_.end());
    try {
        sd_bus_slot* slot = nullptr;
        const auto usec = std::chrono::microseconds(timeout).count();
        check(sd_bus_call_async(bus_, &slot, message.get(), &onReply, &entry,
                                static_cast<std::uint64_t>(usec)),
              "sd_bus_call_async");
        entry.slot.reset(slot);
    } catch (...) {
        calls_.erase(entry.self);
        throw;
    }
}

int BluezCalls::onReply(sd_bus_message* reply, void* userdata, sd_bus_error*) {
    auto& entry = *static_cast<Call*>(userdata);
    auto& self = *entry.owner;
    auto handler = std::move(entry.reply);
    self.calls_.erase(entry.self);  // sd-bus keeps the slot alive until we return
    return guardInput(self.failed_, nullptr, [&] {
        const bool isError = sd_bus_message_is_method_error(reply, nullptr);
        handler(reply, isError ? sd_bus_message_get_error(reply) : nullptr);
        return 0;
    });
}

}  // namespace quorla::platform::linux_

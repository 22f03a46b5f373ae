#include "platform/linux/agent/request_trace.hpp"

#include <any>

#include "protocol/request_message_key.hpp"
#include "protocol/request_notification.hpp"

namespace quorla::platform::linux_ {

namespace {

void traceRequest(std::ostream& trace, const platform::Notification& notification) {
    const auto entry = notification.userInfo.find(protocol::requestMessageUserInfoKey);
    const auto* key = entry == notification.userInfo.end()
                          ? nullptr
                          : std::any_cast<protocol::RequestMessageKey>(&entry->second);
    trace << "request: " << (key ? key->rawValue() : "(no message)") << '\n';
}

}  // namespace

RequestTrace::RequestTrace(platform::NotificationCenter& center, std::ostream& trace)
    : center_(center),
      token_(center.addObserver(protocol::requestNotificationName,
                                [&trace](const auto& note) { traceRequest(trace, note); })) {}

RequestTrace::~RequestTrace() {
    center_.removeObserver(token_);
}

}  // namespace quorla::platform::linux_

#include "platform/linux/agent/request_trace.hpp"

#include <unistd.h>

#include <any>
#include <cerrno>

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

LineWriter::int_type LineWriter::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof()))
        return traits_type::not_eof(c);
    pending_.push_back(traits_type::to_char_type(c));
    if (c == '\n')
        writeOut(true);
    return c;
}

std::streamsize LineWriter::xsputn(const char* text, std::streamsize count) {
    const std::string_view piece(text, static_cast<std::size_t>(count));
    pending_.append(piece);
    if (piece.find('\n') != std::string_view::npos)
        writeOut(false);
    return count;
}

int LineWriter::sync() {
    writeOut(true);
    return 0;
}

// A trace that cannot be written (a closed stderr) is dropped, not retried.
void LineWriter::writeOut(bool isAll) {
    const auto end = isAll ? pending_.size() : pending_.rfind('\n') + 1;
    std::size_t written = 0;
    while (written < end) {
        const auto count = ::write(fd_, pending_.data() + written, end - written);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        written += static_cast<std::size_t>(count);
    }
    pending_.erase(0, end);
}

}  // namespace quorla::platform::linux_

#include "platform/linux/agent/request_trace.hpp"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "protocol/request_message_key.hpp"

namespace quorla::platform::linux_ {
namespace {

// The literal texts, since the trace is what a developer at the console reads; each line in
// one write, which a datagram socket keeps apart for the reader, however it was written.
TEST(RequestTraceTest, TracesEachAnnouncedRequestByItsMessageInOneWriteUntilDestroyed) {
    NotificationCenter center;
    int sockets[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET, 0, sockets), 0);
    {
        LineWriter lines(sockets[0]);
        std::ostream trace(&lines);
        RequestTrace tracing(center, trace);
        center.post(
            {"request",
             {{"message", protocol::RequestMessageKey(protocol::RequestMessageKey::mute)}}});
        center.post({"request", {}});
        center.post({"other", {}});
        trace << "bluez: sent " << 0xE8 << '\n' << std::flush << "unended";
    }
    center.post({"request", {}});
    close(sockets[0]);
    std::vector<std::string> writes;
    char buffer[256];
    for (ssize_t count; (count = read(sockets[1], buffer, sizeof buffer)) > 0;)
        writes.emplace_back(buffer, static_cast<std::size_t>(count));
    close(sockets[1]);
    EXPECT_EQ(writes, (std::vector<std::string>{"request: mute\n", "request: (no message)\n",
                                                "bluez: sent 232\n", "unended"}));
}

}  // namespace
}  // namespace quorla::platform::linux_

#include "platform/linux/agent/request_trace.hpp"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include "protocol/request_message_key.hpp"

namespace quorla::platform::linux_ {
namespace {

// The literal texts: the trace is what a developer at the console reads.
TEST(RequestTraceTest, TracesEachAnnouncedRequestByItsMessageUntilDestroyed) {
    NotificationCenter center;
    std::ostringstream trace;
    {
        RequestTrace tracing(center, trace);
        center.post(
            {"request",
             {{"message", protocol::RequestMessageKey(protocol::RequestMessageKey::mute)}}});
        center.post({"request", {}});
        center.post({"other", {}});
    }
    center.post({"request", {}});
    EXPECT_EQ(trace.str(), "request: mute\nrequest: (no message)\n");
}

// A datagram socket keeps the writes apart, so each read is one write.
TEST(RequestTraceTest, EachLineGoesOutInOneWriteHoweverItWasWritten) {
    int sockets[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET, 0, sockets), 0);
    {
        LineWriter lines(sockets[0]);
        std::ostream trace(&lines);
        trace << "request: "
              << "unmute" << '\n'
              << "bluez: sent " << 0xEA << "\nclient: ";
        trace << "microphone on\n" << std::flush << "unended";
    }
    close(sockets[0]);
    std::vector<std::string> writes;
    char buffer[256];
    for (ssize_t count; (count = read(sockets[1], buffer, sizeof buffer)) > 0;)
        writes.emplace_back(buffer, static_cast<std::size_t>(count));
    close(sockets[1]);
    EXPECT_EQ(writes, (std::vector<std::string>{"request: unmute\n", "bluez: sent 234\n",
                                                "client: microphone on\n", "unended"}));
}

}  // namespace
}  // namespace quorla::platform::linux_

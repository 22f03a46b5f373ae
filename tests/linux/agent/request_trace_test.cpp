#include "platform/linux/agent/request_trace.hpp"

#include <gtest/gtest.h>

#include <sstream>

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

}  // namespace
}  // namespace quorla::platform::linux_

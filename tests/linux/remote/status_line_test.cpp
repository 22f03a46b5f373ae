#include "platform/linux/remote/status_line.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorla::remote {
namespace {

struct Reading {
    std::vector<std::uint8_t> value;
    std::string line;
    bool isValid;
};

// Between them, the two valid values show every flag both on and off.
TEST(StatusLineTest, AValueReadsAsItsFlagsOrIsCalledInvalid) {
    const Reading readings[] = {
        {{0xEA}, "status 0xEA meeting, mic on, camera off, hand down, gallery view", true},
        {{0xF5}, "status 0xF5 no meeting, mic off, camera on, hand up, speaker view", true},
        {{0x08}, "status 0x08 invalid (the bits 0xE0 are not all set)", false},
        {{0x6A}, "status 0x6A invalid (the bits 0xE0 are not all set)", false},
        {{0x8A}, "status 0x8A invalid (the bits 0xE0 are not all set)", false},
        {{}, "status invalid (0 bytes; one is expected)", false},
        {{0xE8, 0x00}, "status invalid (2 bytes: 0xE8 0x00; one is expected)", false},
    };
    for (const auto& reading : readings) {
        SCOPED_TRACE(reading.line);
        EXPECT_EQ(statusLine(reading.value), reading.line);
        EXPECT_EQ(isValidStatus(reading.value), reading.isValid);
    }
}

}  // namespace
}  // namespace quorla::remote

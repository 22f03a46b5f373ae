#include "protocol/request_message_key.hpp"

#include <gtest/gtest.h>

namespace quorla::protocol {
namespace {

// A round trip for every case also shows that no two share a text. Their texts themselves are
// checked where they are announced.
TEST(RequestMessageKey, EveryCaseRoundTripsThroughItsOwnRawTextAndOnlyTheExactWholeTextMatches) {
    for (std::size_t value = 0; value <= RequestMessageKey::fetchState; ++value) {
        const RequestMessageKey key(static_cast<RequestMessageKey::Case>(value));
        EXPECT_EQ(RequestMessageKey::fromRawValue(key.rawValue()), key) << key.rawValue();
    }
    using namespace std::literals;
    for (const auto text : {"Mute"sv, " mute"sv, "mute "sv, ""sv, "mut"sv, "mute\0"sv})
        EXPECT_EQ(RequestMessageKey::fromRawValue(text), std::nullopt) << '"' << text << '"';
}

}  // namespace
}  // namespace quorla::protocol

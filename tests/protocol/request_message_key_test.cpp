#include "protocol/request_message_key.hpp"

#include <gtest/gtest.h>

#include <string>
#include <unordered_set>

namespace quorla::protocol {
namespace {

TEST(RequestMessageKey, EveryCaseRoundTripsThroughItsOwnExactRawTextAndHashesAsIt) {
    std::unordered_set<std::string_view> texts;
    for (std::size_t value = 0; value <= RequestMessageKey::fetchState; ++value) {
        const RequestMessageKey key(static_cast<RequestMessageKey::Case>(value));
        EXPECT_EQ(RequestMessageKey::fromRawValue(key.rawValue()), key) << key.rawValue();
        EXPECT_EQ(std::hash<RequestMessageKey>{}(key),
                  std::hash<std::string_view>{}(key.rawValue()));
        texts.insert(key.rawValue());
    }
    EXPECT_EQ(texts.size(), RequestMessageKey::fetchState + 1u);
    // Only the exact whole text constructs a case.
    EXPECT_EQ(RequestMessageKey::fromRawValue("mute"), RequestMessageKey::mute);
    for (std::string_view text : {"Mute", "MUTE", " mute", "mute ", "", "mut", "unmut", "1"})
        EXPECT_EQ(RequestMessageKey::fromRawValue(text), std::nullopt) << '"' << text << '"';
    EXPECT_EQ(RequestMessageKey::fromRawValue(std::string_view("mute\0", 5)), std::nullopt);
}

}  // namespace
}  // namespace quorla::protocol

#include "protocol/request_message_key.hpp"

#include <gtest/gtest.h>

#include <string>
#include <unordered_set>

namespace quorla::protocol {
namespace {

constexpr RequestMessageKey::Case allCases[] = {
    RequestMessageKey::unmute,         RequestMessageKey::mute,
    RequestMessageKey::activateCamera, RequestMessageKey::deactivateCamera,
    RequestMessageKey::toggleHand,     RequestMessageKey::raiseHand,
    RequestMessageKey::lowerHand,      RequestMessageKey::selectActive,
    RequestMessageKey::selectGallery,  RequestMessageKey::fetchState,
};

TEST(RequestMessageKey, EveryCaseRoundTripsThroughItsRawTextAndTextsAreDistinct) {
    std::unordered_set<std::string_view> texts;
    for (auto value : allCases) {
        RequestMessageKey key(value);
        EXPECT_EQ(RequestMessageKey::fromRawValue(key.rawValue()), key) << key.rawValue();
        texts.insert(key.rawValue());
    }
    EXPECT_EQ(texts.size(), std::size(allCases));
}

TEST(RequestMessageKey, OnlyTheExactWholeTextConstructsACase) {
    for (std::string_view text : {"Mute", "MUTE", " mute", "mute ", "", "mut", "unmut", "1"}) {
        EXPECT_FALSE(RequestMessageKey::fromRawValue(text).has_value()) << '"' << text << '"';
    }
    EXPECT_EQ(RequestMessageKey::fromRawValue("mute"), RequestMessageKey::mute);
    EXPECT_EQ(RequestMessageKey::fromRawValue("unmute"), RequestMessageKey::unmute);
    EXPECT_EQ(RequestMessageKey::fromRawValue("deactivateCamera"),
              RequestMessageKey::deactivateCamera);
    EXPECT_EQ(RequestMessageKey::fromRawValue(std::string("mute\0", 5)), std::nullopt);
}

TEST(RequestMessageKey, KeysCompareByCaseAndHashAsTheirRawText) {
    EXPECT_NE(RequestMessageKey(RequestMessageKey::unmute), RequestMessageKey::mute);
    for (auto value : allCases) {
        RequestMessageKey key(value);
        EXPECT_EQ(std::hash<RequestMessageKey>{}(key),
                  std::hash<std::string>{}(std::string(key.rawValue())));
    }
    std::unordered_set<RequestMessageKey> set{RequestMessageKey::mute, RequestMessageKey::mute,
                                              RequestMessageKey::unmute};
    EXPECT_EQ(set.size(), 2u);
}

}  // namespace
}  // namespace quorla::protocol

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

TEST(RequestMessageKey, EveryCaseRoundTripsThroughItsOwnRawTextAndHashesAsIt) {
    std::unordered_set<std::string_view> texts;
    for (auto value : allCases) {
        const RequestMessageKey key(value);
        SCOPED_TRACE(key.rawValue());
        EXPECT_EQ(RequestMessageKey::fromRawValue(key.rawValue()), key);
        EXPECT_EQ(std::hash<RequestMessageKey>{}(key),
                  std::hash<std::string>{}(std::string(key.rawValue())));
        texts.insert(key.rawValue());
    }
    EXPECT_EQ(texts.size(), std::size(allCases));
    const std::unordered_set<RequestMessageKey> set{
        RequestMessageKey::mute, RequestMessageKey::mute, RequestMessageKey::unmute};
    EXPECT_EQ(set.size(), 2u);
}

TEST(RequestMessageKey, OnlyTheExactWholeTextConstructsACase) {
    const std::pair<std::string, RequestMessageKey::Case> known[] = {
        {"mute", RequestMessageKey::mute},
        {"unmute", RequestMessageKey::unmute},
        {"deactivateCamera", RequestMessageKey::deactivateCamera},
        {"selectActive", RequestMessageKey::selectActive},
        {"selectGallery", RequestMessageKey::selectGallery},
    };
    for (const auto& [text, value] : known)
        EXPECT_EQ(RequestMessageKey::fromRawValue(text), value) << text;
    for (std::string_view text :
         std::initializer_list<std::string_view>{"Mute", "MUTE", " mute", "mute ", "", "mut",
                                                 "unmut", "1", std::string_view("mute\0", 5)})
        EXPECT_EQ(RequestMessageKey::fromRawValue(text), std::nullopt) << '"' << text << '"';
}

}  // namespace
}  // namespace quorla::protocol

#include "platform/sha1.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace quorla::platform {
namespace {

std::span<const std::uint8_t> bytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string hex(const Sha1Digest& digest) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    for (auto byte : digest)
        text += {digits[byte >> 4], digits[byte & 0x0F]};
    return text;
}

// The FIPS 180 example messages and their published digests. Every platform's
// definition runs these, so the CommonCrypto one is held to the same values.
TEST(Sha1, GivesThePublishedDigestsOfTheFipsExamples) {
    const std::string million(1'000'000, 'a');
    const struct {
        std::string_view message;
        std::string_view digest;
    } vectors[] = {
        {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {million, "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
    };
    for (const auto& vector : vectors) {
        SCOPED_TRACE(vector.message.substr(0, 16));
        EXPECT_EQ(hex(sha1({bytes(vector.message)})), vector.digest);
    }
}

TEST(Sha1, HashesPiecesAsOneMessageWhereverTheyAreCut) {
    const std::string_view message = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    const auto whole = sha1({bytes(message)});
    for (std::size_t cut : {0, 1, 3, 55}) {
        SCOPED_TRACE(cut);
        EXPECT_EQ(sha1({bytes(message.substr(0, cut)), bytes(message.substr(cut))}), whole);
    }
    EXPECT_EQ(sha1({}), sha1({bytes("")}));
}

}  // namespace
}  // namespace quorla::platform

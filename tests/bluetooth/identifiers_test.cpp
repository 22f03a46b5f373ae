#include "bluetooth/identifiers.hpp"

#include <gtest/gtest.h>

namespace quorla::bluetooth {
namespace {

platform::Uuid uuid(std::string_view text) {
    auto parsed = platform::Uuid::fromString(text);
    EXPECT_TRUE(parsed) << text;
    return parsed.value_or(platform::Uuid{});
}

TEST(Uuid, ParsesEitherCaseAndPrintsUpperCaseWithBytesInTextOrder) {
    const auto parsed = uuid("1cdc9855-5713-4f64-b799-4ab82dc6d1c8");
    EXPECT_EQ(parsed.bytes[0], 0x1C);
    EXPECT_EQ(parsed.bytes[15], 0xC8);
    EXPECT_EQ(parsed.toString(), "1CDC9855-5713-4F64-B799-4AB82DC6D1C8");
    for (std::string_view bad :
         {"", "1CDC9855-5713-4F64-B799-4AB82DC6D1C", "1CDC98555-713-4F64-B799-4AB82DC6D1C8",
          "1CDC9855-5713-4F64-B799-4AB82DC6D1CG", "{1CDC9855-5713-4F64-B799-4AB82DC6D1C8}"}) {
        EXPECT_FALSE(platform::Uuid::fromString(bad)) << bad;
    }
}

// Vectors chosen by others: the first two were worked out by hand from the SHA-1
// digests in the service namespace, the last is the version-5 example of RFC 9562.
TEST(NameBasedUUID, MatchesKnownVersion5Vectors) {
    const auto ns = uuid("1CDC9855-5713-4F64-B799-4AB82DC6D1C8");
    EXPECT_EQ(nameBasedUUID("abc", ns).toString(), "B59E243A-CDC0-590E-813E-91A84F9E841C");
    EXPECT_EQ(nameBasedUUID("", ns).toString(), "8F43DB2D-3A67-57C4-96DE-BFE7BC687D3E");
    EXPECT_EQ(
        nameBasedUUID("www.example.com", uuid("6BA7B810-9DAD-11D1-80B4-00C04FD430C8")).toString(),
        "2ED6657D-E927-568B-95E1-2665A8AEA6A2");
}

TEST(NameBasedUUID, FeedsTheNameAsUtf8AndAlwaysCarriesVersion5AndTheRfcVariant) {
    const auto& ns = serviceNamespaceUUID();
    EXPECT_EQ(nameBasedUUID("\u00e9", ns), nameBasedUUID("\xC3\xA9", ns));
    EXPECT_NE(nameBasedUUID("\u00e9", ns), nameBasedUUID("e\u0301", ns));
    for (std::string_view name : {"", "abc", "_a1b2c3d4e5f6", "\xC3\xA9", "a longer record name"}) {
        const auto text = nameBasedUUID(name, ns).toString();
        EXPECT_EQ(text[14], '5') << text;
        EXPECT_NE(std::string_view("89AB").find(text[19]), std::string_view::npos) << text;
    }
}

}  // namespace
}  // namespace quorla::bluetooth

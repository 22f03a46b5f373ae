#include "platform/linux/bluez/gatt_flags.hpp"

#include <gtest/gtest.h>

#include <string>

namespace quorla::platform::linux_ {
namespace {

// BlueZ's flag names as its GattCharacteristic1 documentation spells them. Without
// encrypt-write, an unpaired central's Write Commands would reach a paired-only agent.
TEST(GattFlagsTest, EachBitIsNamedAsBlueZNamesItAndEncryptionOnlyGuardsWhatIsThere) {
    const struct {
        std::uint16_t properties;
        std::uint8_t permissions;
        const char* flags;
    } rows[] = {
        {0x16, 0x03, "read write-without-response notify "},
        {0x116, 0x0C,
         "read encrypt-read write-without-response encrypt-write notify "
         "encrypt-notify "},
        {0x08, 0x04, "write "},
    };
    for (const auto& row : rows) {
        std::string flags;
        for (const auto& flag : bluezFlags(row.properties, row.permissions))
            flags += flag + " ";
        EXPECT_EQ(flags, row.flags) << row.properties << " " << int(row.permissions);
    }
}

}  // namespace
}  // namespace quorla::platform::linux_

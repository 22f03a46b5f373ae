#include "platform/linux/bluez/gatt_flags.hpp"

#include <utility>

#include "platform/peripheral.hpp"

namespace quorla::platform::linux_ {

std::vector<std::string> bluezFlags(std::uint16_t properties, std::uint8_t permissions) {
    namespace bits = platform::characteristic_property;
    namespace permission = platform::attribute_permission;
    const auto has = [](unsigned set, unsigned bit) { return (set & bit) != 0; };
    const std::pair<bool, const char*> names[] = {
        {has(properties, bits::read), "read"},
        {has(properties, bits::read) && has(permissions, permission::readEncryptionRequired),
         "encrypt-read"},
        {has(properties, bits::writeWithoutResponse), "write-without-response"},
        {has(properties, bits::write), "write"},
        {has(permissions, permission::writeEncryptionRequired), "encrypt-write"},
        {has(properties, bits::notify), "notify"},
        {has(properties, bits::notifyEncryptionRequired), "encrypt-notify"},
    };
    std::vector<std::string> flags;
    for (auto [isSet, name] : names)
        if (isSet)
            flags.emplace_back(name);
    return flags;
}

}  // namespace quorla::platform::linux_

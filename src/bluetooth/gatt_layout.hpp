#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "bluetooth/identifiers.hpp"
#include "platform/peripheral.hpp"

namespace quorla::bluetooth {

// The service's five characteristics, in the order the service holds them: a companion
// (quorla-remote among them) finds them in this order too.
enum class CharacteristicRole : std::size_t { status, mic, camera, hand, active };

struct CharacteristicLayout {
    CharacteristicRole role;
    std::string_view name;  // the word messages use for it
    const platform::Uuid& (*uuid)();
};

inline constexpr std::array<CharacteristicLayout, 5> gattLayout{{
    {CharacteristicRole::status, "status", &statusCharacteristicUUID},
    {CharacteristicRole::mic, "microphone", &micRequestCharacteristicUUID},
    {CharacteristicRole::camera, "camera", &cameraRequestCharacteristicUUID},
    {CharacteristicRole::hand, "hand", &handRequestCharacteristicUUID},
    {CharacteristicRole::active, "view", &activeRequestCharacteristicUUID},
}};

constexpr const CharacteristicLayout& layoutOf(CharacteristicRole role) {
    return gattLayout[static_cast<std::size_t>(role)];
}

// All five carry the same bits, the request characteristics included: read, write without
// response, notify; readable and writeable. Write with response is not offered.
inline constexpr std::uint16_t characteristicProperties =
    platform::characteristic_property::read |
    platform::characteristic_property::writeWithoutResponse |
    platform::characteristic_property::notify;
inline constexpr std::uint8_t characteristicPermissions =
    platform::attribute_permission::readable | platform::attribute_permission::writeable;
// With pairing required, the same characteristics answer only over an encrypted link: the
// stack refuses a central that has not paired with Insufficient Encryption, which is what
// makes a phone start pairing.
inline constexpr std::uint16_t pairedOnlyCharacteristicProperties =
    characteristicProperties | platform::characteristic_property::notifyEncryptionRequired;
inline constexpr std::uint8_t pairedOnlyCharacteristicPermissions =
    platform::attribute_permission::readEncryptionRequired |
    platform::attribute_permission::writeEncryptionRequired;

}  // namespace quorla::bluetooth

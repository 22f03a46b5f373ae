#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/uuid.hpp"

namespace quorla::bluetooth {

// Fixed identities, built once on first use. The namespace is never published: it only
// seeds the per-user service UUID.
const platform::Uuid& serviceNamespaceUUID();
const platform::Uuid& statusCharacteristicUUID();
const platform::Uuid& micRequestCharacteristicUUID();
const platform::Uuid& cameraRequestCharacteristicUUID();
const platform::Uuid& handRequestCharacteristicUUID();
const platform::Uuid& activeRequestCharacteristicUUID();

// Read, write without response, notify; readable and writeable. The request
// characteristics carry the same bits as the status one.
inline constexpr std::uint16_t characteristicProperties = 0x16;
inline constexpr std::uint8_t characteristicPermissions = 0x03;
// With pairing required, the same characteristics answer only over an encrypted link: the
// stack refuses a central that has not paired with Insufficient Encryption, which is what
// makes a phone start pairing.
inline constexpr std::uint16_t pairedOnlyCharacteristicProperties = 0x116;
inline constexpr std::uint8_t pairedOnlyCharacteristicPermissions = 0x0C;

// The RFC 4122 version-5 (SHA-1) UUID of name, fed as its UTF-8 bytes, in namespaceUuid.
platform::Uuid nameBasedUUID(std::string_view name, const platform::Uuid& namespaceUuid);

// The service UUID of the stored iCloud record name; none while no name is stored.
std::optional<platform::Uuid> currentServiceUUID();

inline constexpr std::string_view iCloudUserIDDefaultsKey = "quorla.iCloudUserID";
// A Boolean, read at each build of the service: true lets only paired companions in.
inline constexpr std::string_view requirePairingDefaultsKey = "quorla.requirePairing";

}  // namespace quorla::bluetooth

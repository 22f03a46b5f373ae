#pragma once

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

// The RFC 4122 version-5 (SHA-1) UUID of name, fed as its UTF-8 bytes, in namespaceUuid.
platform::Uuid nameBasedUUID(std::string_view name, const platform::Uuid& namespaceUuid);

// The service UUID of the stored iCloud record name; none while no name is stored.
std::optional<platform::Uuid> currentServiceUUID();

inline constexpr std::string_view iCloudUserIDDefaultsKey = "quorla.iCloudUserID";
// A Boolean, read at each build of the service: true lets only paired companions in.
inline constexpr std::string_view requirePairingDefaultsKey = "quorla.requirePairing";

}  // namespace quorla::bluetooth

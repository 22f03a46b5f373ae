// Apart from the fixed identities, which programs without user defaults (quorla-remote)
// link on their own.
#include "bluetooth/identifiers.hpp"
#include "platform/user_defaults.hpp"

namespace quorla::bluetooth {

std::optional<platform::Uuid> currentServiceUUID() {
    auto recordName = platform::standardUserDefaults().stringForKey(iCloudUserIDDefaultsKey);
    if (!recordName)
        return std::nullopt;
    return nameBasedUUID(*recordName, serviceNamespaceUUID());
}

}  // namespace quorla::bluetooth

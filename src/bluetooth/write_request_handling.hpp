#pragma once

#include <string>
#include <vector>

#include "bluetooth/requests.hpp"
#include "platform/peripheral.hpp"

namespace quorla::bluetooth {

// The keystroke script a request sends to the conferencing client; every one is a toggle.
// Empty for the status, which takes no requests.
const std::string& toggleScript(CharacteristicRole role);

// The characteristics a companion writes its requests to; absent ones match nothing.
struct RequestCharacteristics {
    platform::CharacteristicRef mic;
    platform::CharacteristicRef camera;
    platform::CharacteristicRef hand;
    platform::CharacteristicRef active;

    const platform::CharacteristicRef& of(CharacteristicRole role) const;
};

// Carries out one batch in order: for each routed request its script runs, then the
// "request" announcement goes out, then the request is answered. Every request is
// answered with success, routed or not, and the batch never stops early.
void handleWriteRequests(platform::PeripheralManager& manager,
                         const std::vector<platform::AttRequest>& requests,
                         const RequestCharacteristics& characteristics);

}  // namespace quorla::bluetooth

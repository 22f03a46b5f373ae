#pragma once

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "platform/peripheral.hpp"

namespace quorla::platform::apple {

// Pairs each characteristic the core created with the one platform object made for it,
// so that a platform object coming back in a request or subscription is handed to the
// core as the very characteristic it created. Same tells whether two platform objects
// are one (the platform may hand back an equal object rather than the same pointer).
//
// Holds the core's characteristics weakly: once the core has rebuilt its service and let
// go of the old ones, their pairs go too, and the platform's leftovers map to none.
template <class Handle, class Same>
class CharacteristicRegistry {
  public:
    explicit CharacteristicRegistry(Same same = {}) : same_(std::move(same)) {}

    void add(const CharacteristicRef& characteristic, Handle handle) {
        std::erase_if(entries_, [](const Entry& entry) { return entry.characteristic.expired(); });
        entries_.push_back({characteristic, std::move(handle)});
    }

    // None for a platform object the core does not hold (any more).
    template <class PlatformObject>
    CharacteristicRef characteristicFor(const PlatformObject& object) const {
        for (const auto& entry : entries_) {
            if (same_(entry.handle, object))
                return entry.characteristic.lock();
        }
        return nullptr;
    }

    // A default-made Handle for a characteristic never added.
    Handle handleFor(const CharacteristicRef& characteristic) const {
        const auto found = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& entry) {
            return entry.characteristic.lock() == characteristic;
        });
        return found == entries_.end() || !characteristic ? Handle{} : found->handle;
    }

  private:
    struct Entry {
        std::weak_ptr<const Characteristic> characteristic;
        Handle handle;
    };

    std::vector<Entry> entries_;
    Same same_;
};

}  // namespace quorla::platform::apple

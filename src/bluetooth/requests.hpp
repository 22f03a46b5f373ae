#pragma once

#include <array>
#include <span>
#include <string_view>

#include "bluetooth/gatt_layout.hpp"
#include "platform/peripheral.hpp"
#include "protocol/request_message_key.hpp"

namespace quorla::bluetooth {

// A keyboard shortcut of the conferencing client, in System Events' words: the key typed
// and the modifier keys held down ("command", "shift", "option").
struct Shortcut {
    std::string_view key;
    std::span<const std::string_view> modifiers;
};

inline constexpr std::string_view commandShift[] = {"command", "shift"};
inline constexpr std::string_view option[] = {"option"};

// What a write to one request characteristic does: the toggle script (named after its
// handler) that sends the shortcut, and the message announced for on and for off.
struct Request {
    CharacteristicRole role;
    std::string_view handler;
    Shortcut shortcut;
    protocol::RequestMessageKey whenOn;
    protocol::RequestMessageKey whenOff;
};

// Compared in this order; the first match wins. Every one is a toggle: the value written
// chooses only the message, never the shortcut.
inline constexpr std::array<Request, 4> requests{{
    {CharacteristicRole::mic,
     "toggleMic",
     {"a", commandShift},
     protocol::RequestMessageKey::unmute,
     protocol::RequestMessageKey::mute},
    {CharacteristicRole::camera,
     "toggleCamera",
     {"v", commandShift},
     protocol::RequestMessageKey::activateCamera,
     protocol::RequestMessageKey::deactivateCamera},
    {CharacteristicRole::hand,
     "toggleHand",
     {"y", option},
     protocol::RequestMessageKey::toggleHand,
     protocol::RequestMessageKey::toggleHand},
    {CharacteristicRole::active,
     "toggleView",
     {"w", commandShift},
     protocol::RequestMessageKey::selectActive,
     protocol::RequestMessageKey::selectGallery},
}};

// Only the single byte "1" switches on; anything else, malformed UTF-8 included, is off,
// so no decoding is needed to tell the two apart.
inline bool isSwitchOn(const platform::Bytes& value) {
    return value == platform::Bytes{'1'};
}

// What a companion writes to ask for on or for off.
inline platform::Bytes switchValue(bool isOn) {
    return {static_cast<std::uint8_t>(isOn ? '1' : '0')};
}

}  // namespace quorla::bluetooth

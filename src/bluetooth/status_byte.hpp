#pragma once

#include <cstdint>
#include <optional>

namespace quorla::bluetooth {

// The meeting-status flags as the one byte that carries them over the link. The agent
// encodes it, a companion (quorla-remote among them) decodes it; both read this layout.
struct StatusFlags {
    bool isConnected = false;  // a meeting is in progress
    bool isMicActive = false;
    bool isCameraActive = false;
    bool isHandRaised = false;
    bool isActiveSelected = false;  // active-speaker view rather than gallery
};

namespace status_bit {
// Always set, so that the value is never 0x00.
inline constexpr std::uint8_t alwaysSet = 0xE0;
inline constexpr std::uint8_t activeSelected = 0x10;
inline constexpr std::uint8_t connected = 0x08;
inline constexpr std::uint8_t handRaised = 0x04;
inline constexpr std::uint8_t micActive = 0x02;
inline constexpr std::uint8_t cameraActive = 0x01;
}  // namespace status_bit

constexpr std::uint8_t encodeStatus(const StatusFlags& flags) {
    using namespace status_bit;
    return static_cast<std::uint8_t>(
        alwaysSet | (flags.isActiveSelected ? activeSelected : 0) |
        (flags.isConnected ? connected : 0) | (flags.isHandRaised ? handRaised : 0) |
        (flags.isMicActive ? micActive : 0) | (flags.isCameraActive ? cameraActive : 0));
}

// None for a byte whose always-set bits are not all set: it does not come from this layout.
constexpr std::optional<StatusFlags> decodeStatus(std::uint8_t value) {
    using namespace status_bit;
    if ((value & alwaysSet) != alwaysSet)
        return std::nullopt;
    return StatusFlags{
        .isConnected = (value & connected) != 0,
        .isMicActive = (value & micActive) != 0,
        .isCameraActive = (value & cameraActive) != 0,
        .isHandRaised = (value & handRaised) != 0,
        .isActiveSelected = (value & activeSelected) != 0,
    };
}

}  // namespace quorla::bluetooth

#include "platform/linux/remote/status_line.hpp"

#include <cstdio>

#include "bluetooth/status_byte.hpp"

namespace quorla::remote {

namespace {

std::string hexByte(std::uint8_t byte) {
    char text[5];
    std::snprintf(text, sizeof text, "0x%02X", byte);
    return text;
}

std::string flagsText(const bluetooth::StatusFlags& flags) {
    return std::string(flags.isConnected ? "meeting" : "no meeting") +
           (flags.isMicActive ? ", mic on" : ", mic off") +
           (flags.isCameraActive ? ", camera on" : ", camera off") +
           (flags.isHandRaised ? ", hand up" : ", hand down") +
           (flags.isActiveSelected ? ", speaker view" : ", gallery view");
}

}  // namespace

bool isValidStatus(std::span<const std::uint8_t> value) {
    return value.size() == 1 && bluetooth::decodeStatus(value[0]).has_value();
}

std::string statusLine(std::span<const std::uint8_t> value) {
    if (value.size() != 1) {
        // Appended piece by piece: GCC 12 at -O3 mistakes the chained operator+ for an
        // overlapping copy (-Wrestrict).
        std::string text = "status invalid (" + std::to_string(value.size()) + " bytes";
        if (!value.empty())
            text += ':';
        for (auto byte : value) {
            text += ' ';
            text += hexByte(byte);
        }
        text += "; one is expected)";
        return text;
    }
    const auto flags = bluetooth::decodeStatus(value[0]);
    if (!flags)
        return "status " + hexByte(value[0]) + " invalid (the bits " +
               hexByte(bluetooth::status_bit::alwaysSet) + " are not all set)";
    return "status " + hexByte(value[0]) + " " + flagsText(*flags);
}

}  // namespace quorla::remote

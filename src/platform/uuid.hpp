#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorla::platform {

// A 128-bit UUID; byte 0 is the first two hexadecimal digits of its text.
struct Uuid {
    std::array<std::uint8_t, 16> bytes{};

    // Accepts only the 8-4-4-4-12 form, in either letter case.
    static std::optional<Uuid> fromString(std::string_view text);
    // Upper-case 8-4-4-4-12 text, the form the platform prints.
    std::string toString() const;

    friend bool operator==(const Uuid&, const Uuid&) = default;
};

}  // namespace quorla::platform

#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <span>

namespace quorla::platform {

using Sha1Digest = std::array<std::uint8_t, 20>;

// The SHA-1 digest (FIPS 180-4) of the pieces fed one after another. Defined by the
// platform's crypto library; over memory it cannot fail.
Sha1Digest sha1(std::initializer_list<std::span<const std::uint8_t>> pieces);

}  // namespace quorla::platform

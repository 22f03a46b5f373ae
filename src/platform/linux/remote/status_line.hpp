#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace quorla::remote {

// The status characteristic's value as a person reads it:
// "status 0xE8 meeting, mic off, camera off, hand down, gallery view", or, for a value that
// does not follow the layout, "status 0x08 invalid (...)".
std::string statusLine(std::span<const std::uint8_t> value);

bool isValidStatus(std::span<const std::uint8_t> value);

}  // namespace quorla::remote

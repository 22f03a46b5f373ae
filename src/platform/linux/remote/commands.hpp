#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/remote/gatt_layout.hpp"

namespace quorla::remote {

// One request of the remote, the same on its command line and in its console.
struct Command {
    enum class Kind { status, write, watch, pair, help, quit };
    Kind kind = Kind::status;
    // For a write: the characteristic and the text written, "1" or "0", as the phone writes.
    Role role = Role::status;
    std::uint8_t value = 0;
};

// what() is the one line to show.
class CommandError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

Command parseCommand(const std::vector<std::string_view>& words);

// The commands, one a line, for help.
extern const std::string_view commandHelp;

}  // namespace quorla::remote

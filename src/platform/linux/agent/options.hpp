#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/emulation/emulated_client.hpp"

namespace quorla::platform::linux_ {

// Longer names cannot be iCloud record names, and refusing them keeps the settings file sane.
inline constexpr std::size_t maxRecordNameBytes = 255;

struct Options {
    std::optional<std::string> recordName;
    // None: the first adapter BlueZ lists.
    std::optional<std::string> adapterName;
    ClientState client;
    // None: as the settings file says.
    std::optional<bool> isPairingRequired;
    bool isHelpRequested = false;
};

// A command line the agent cannot start with; what() is the one line to show the user.
class OptionError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// arguments: the command line without the program's name.
Options parseOptions(const std::vector<std::string_view>& arguments);

// What --help prints: the options, the console commands and what the agent does.
std::string helpText();

}  // namespace quorla::platform::linux_

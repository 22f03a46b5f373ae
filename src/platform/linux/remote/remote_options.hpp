#pragma once

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/remote/commands.hpp"
#include "platform/uuid.hpp"

namespace quorla::remote {

struct RemoteOptions {
    platform::Uuid service;
    std::optional<std::string> adapterName;
    std::chrono::duration<double> timeout{30.0};
    std::chrono::duration<double> settle{1.5};
    std::optional<Command> command;  // none: the console
    bool isHelpRequested = false;
};

// A command line quorla-remote cannot start with; what() is the one line to show the user.
class OptionError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// arguments: the command line without the program's name. Throws OptionError with the one
// line to show.
RemoteOptions parseRemoteOptions(const std::vector<std::string_view>& arguments);

std::string remoteHelpText();

}  // namespace quorla::remote

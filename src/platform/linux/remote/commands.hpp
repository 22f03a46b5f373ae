#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/remote/gatt_layout.hpp"
#include "platform/peripheral.hpp"

namespace quorla::remote {

// One command of the remote, the same on its command line and in its console.
struct Command {
    enum class Kind { status, set, toggle, watch, check, pair, help, quit };
    Kind kind = Kind::status;
    Role role = Role::status;  // for set and toggle
    bool isOn = false;         // for set: the state asked for (the view: speaker)
    bool operator==(const Command&) const = default;
};

// what() is the one line to show.
class CommandError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

Command parseCommand(const std::vector<std::string_view>& words);

// The commands, one a line, for help.
extern const std::string_view commandHelp;

// A set or toggle carried out over the wire, where every request is a toggle: "0" to the
// microphone when it is off switches it on. So a setting reads the status first and writes
// only when the state differs, and its outcome is the status that shows the state asked
// for, not whatever notification comes first (a poll's can land between the write and the
// request's own). A toggle of the microphone, camera or view asks for the state opposite
// to the one read; the hand has no status bit to follow, so any status after it will do.
class Request {
  public:
    enum class Next {
        write,   // value() to the role's characteristic, then wait for notifications
        wait,    // for another notification, or the settle time
        done,    // line: the status that shows it, or that nothing needed to change
        failed,  // line: what the status shows instead
    };
    struct Outcome {
        Next next;
        std::string line{};
        bool operator==(const Outcome&) const = default;
    };

    Request(Command command, std::chrono::duration<double> settle);

    // The status read before writing.
    Outcome read(std::span<const std::uint8_t> status);
    Outcome notified(std::span<const std::uint8_t> status);
    // The status read once the settle time has passed without the state asked for.
    Outcome settled(std::span<const std::uint8_t> status);
    // What is written, as the phone writes it: what asks for the state wanted, so that the
    // agent announces the right message; the hand's asks for on.
    platform::Bytes value() const;
    Role role() const { return command_.role; }

  private:
    bool isFollowed(std::span<const std::uint8_t> status) const;

    Command command_;
    std::chrono::duration<double> settle_;
    std::optional<bool> wanted_;  // none for the hand
};

}  // namespace quorla::remote

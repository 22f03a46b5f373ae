#include "platform/linux/remote/commands.hpp"

#include <algorithm>
#include <cstdio>

#include "bluetooth/requests.hpp"
#include "bluetooth/status_byte.hpp"
#include "platform/linux/remote/status_line.hpp"

namespace quorla::remote {

namespace {

using Kind = Command::Kind;

struct Word {
    std::string_view word;
    Kind kind;
};
constexpr Word plainWords[] = {{"status", Kind::status}, {"watch", Kind::watch},
                               {"check", Kind::check},   {"pair", Kind::pair},
                               {"help", Kind::help},     {"quit", Kind::quit}};

// A request characteristic with a status bit, and the words for its two states.
struct Switch {
    std::string_view word;
    Role role;
    std::string_view on;
    std::string_view off;
    bool bluetooth::StatusFlags::*flag;
};
constexpr Switch switches[] = {
    {"mic", Role::mic, "on", "off", &bluetooth::StatusFlags::isMicActive},
    {"camera", Role::camera, "on", "off", &bluetooth::StatusFlags::isCameraActive},
    {"view", Role::active, "speaker", "gallery", &bluetooth::StatusFlags::isActiveSelected},
};

constexpr std::string_view commandList =
    "status, mic on|off|toggle, camera on|off|toggle, view speaker|gallery|toggle, hand, watch, "
    "check, pair, help, quit";

const Switch* switchOf(Role role) {
    const auto found = std::find_if(std::begin(switches), std::end(switches),
                                    [&](const Switch& s) { return s.role == role; });
    return found == std::end(switches) ? nullptr : found;
}

Command switchCommand(const Switch& entry, const std::vector<std::string_view>& words) {
    const auto expected = std::string(entry.on) + ", " + std::string(entry.off) + " or toggle";
    if (words.size() != 2)
        throw CommandError(std::string(entry.word) + " takes one word: " + expected);
    if (words[1] == "toggle")
        return {Kind::toggle, entry.role};
    if (words[1] != entry.on && words[1] != entry.off)
        throw CommandError(std::string(entry.word) + ": expected " + expected + ", not '" +
                           std::string(words[1]) + "'");
    return {Kind::set, entry.role, words[1] == entry.on};
}

std::string seconds(std::chrono::duration<double> duration) {
    char text[32];
    std::snprintf(text, sizeof text, "%g s", duration.count());
    return text;
}

}  // namespace

const std::string_view commandHelp = R"(commands:
  status                  read the status byte and print it
  mic on|off              switch the microphone on or off, unless it is already
  camera on|off           switch the camera on or off, unless it is already
  view speaker|gallery    switch to the active-speaker or the gallery view, unless shown
  mic|camera|view toggle  send the request as it is on the wire: a toggle
  hand                    raise or lower the hand (a toggle; no status bit shows it)
  watch                   print every status notification until interrupted
  check                   try the agent against the whole contract, one line per check
                          (the requests switch and switch back: best in a meeting)
  pair                    pair with the agent; the person at the computer accepts
  help                    this list
  quit                    end the console
)";

Command parseCommand(const std::vector<std::string_view>& words) {
    if (words.empty())
        throw CommandError(std::string("no command; commands: ") + std::string(commandList));
    const auto first = words.front();
    const auto entry = std::find_if(std::begin(switches), std::end(switches),
                                    [&](const Switch& s) { return s.word == first; });
    if (entry != std::end(switches))
        return switchCommand(*entry, words);
    const auto plain = std::find_if(std::begin(plainWords), std::end(plainWords),
                                    [&](const Word& w) { return w.word == first; });
    if (first == "hand" || plain != std::end(plainWords)) {
        if (words.size() > 1)
            throw CommandError(std::string(first) + " takes no argument");
        if (first == "hand")
            return {Kind::toggle, Role::hand};
        return {plain->kind};
    }
    throw CommandError("unknown command '" + std::string(first) +
                       "'; commands: " + std::string(commandList));
}

// ---- Requests ----

Request::Request(Command command, std::chrono::duration<double> settle)
    : command_(command), settle_(settle) {}

platform::Bytes Request::value() const {
    return bluetooth::switchValue(wanted_.value_or(command_.kind != Kind::set || command_.isOn));
}

bool Request::isFollowed(std::span<const std::uint8_t> status) const {
    if (!isValidStatus(status))
        return false;
    if (!wanted_)
        return true;
    return bluetooth::decodeStatus(status[0]).value().*(switchOf(command_.role)->flag) == *wanted_;
}

Request::Outcome Request::read(std::span<const std::uint8_t> status) {
    if (!isValidStatus(status))
        return {Next::failed, statusLine(status)};
    const auto* entry = switchOf(command_.role);
    if (!entry)
        return {Next::write};
    const bool isOn = bluetooth::decodeStatus(status[0]).value().*(entry->flag);
    wanted_ = command_.kind == Kind::set ? command_.isOn : !isOn;
    if (isOn == *wanted_)
        return {Next::done, std::string(entry->word) + " is already " +
                                std::string(isOn ? entry->on : entry->off)};
    return {Next::write};
}

Request::Outcome Request::notified(std::span<const std::uint8_t> status) {
    return isFollowed(status) ? Outcome{Next::done, statusLine(status)} : Outcome{Next::wait};
}

Request::Outcome Request::settled(std::span<const std::uint8_t> status) {
    if (isFollowed(status))
        return {Next::done, statusLine(status)};
    if (!wanted_ || !isValidStatus(status))
        return {Next::failed, statusLine(status)};
    const auto* entry = switchOf(command_.role);
    return {Next::failed, std::string(entry->word) + " is still " +
                              std::string(*wanted_ ? entry->off : entry->on) + " " +
                              seconds(settle_) + " after the request: " + statusLine(status)};
}

}  // namespace quorla::remote

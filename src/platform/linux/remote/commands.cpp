#include "platform/linux/remote/commands.hpp"

#include <algorithm>

namespace quorla::remote {

namespace {

using Kind = Command::Kind;

struct Word {
    std::string_view word;
    Kind kind;
};
constexpr Word plainWords[] = {{"status", Kind::status},
                               {"watch", Kind::watch},
                               {"pair", Kind::pair},
                               {"help", Kind::help},
                               {"quit", Kind::quit}};

// A request characteristic and the words for the "1" and "0" written to it. The hand takes
// no word: the phone always writes "1" to it.
struct Switch {
    std::string_view word;
    Role role;
    std::string_view on;
    std::string_view off;
};
constexpr Switch switches[] = {
    {"mic", Role::microphone, "on", "off"},
    {"camera", Role::camera, "on", "off"},
    {"view", Role::view, "speaker", "gallery"},
};

constexpr std::string_view commandList =
    "status, mic on|off, camera on|off, view speaker|gallery, hand, watch, pair, help, quit";

Command switchCommand(const Switch& entry, const std::vector<std::string_view>& words) {
    const auto expected = std::string(entry.on) + " or " + std::string(entry.off);
    if (words.size() != 2)
        throw CommandError(std::string(entry.word) + " takes one word: " + expected);
    if (words[1] != entry.on && words[1] != entry.off)
        throw CommandError(std::string(entry.word) + ": expected " + expected + ", not '" +
                           std::string(words[1]) + "'");
    return {Kind::write, entry.role, static_cast<std::uint8_t>(words[1] == entry.on ? '1' : '0')};
}

}  // namespace

const std::string_view commandHelp = R"(commands:
  status                  read the status byte and print it
  mic on|off              ask for the microphone on or off (writes "1" or "0")
  camera on|off           ask for the camera on or off
  view speaker|gallery    ask for the active-speaker or the gallery view
  hand                    raise or lower the hand (writes "1")
  watch                   print every status notification until interrupted
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
            return {Kind::write, Role::hand, '1'};
        return {plain->kind};
    }
    throw CommandError("unknown command '" + std::string(first) +
                       "'; commands: " + std::string(commandList));
}

}  // namespace quorla::remote

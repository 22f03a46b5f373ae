#include "platform/linux/agent/console.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

namespace quorla::platform::linux_ {

namespace {

constexpr std::string_view commandList =
    "launch quit-client join leave mic camera hand view language KEY status pair-accept "
    "pair-reject paired unpair ADDRESS updates quit help";

std::string helpText() {
    return R"(commands, one per line:
  launch         start the emulated client
  quit-client    quit the emulated client
  join, leave    join or leave a meeting in the client
  mic, camera, hand, view   toggle them from the client's side
  language KEY   the client's menu language: )" +
           clientLanguageList() + R"(
  status         print the status byte the companions are sent
  pair-accept, pair-reject   answer a companion's request to pair
  paired         list the devices paired with this computer
  unpair ADDRESS forget a paired device: it has to pair again to get in
  updates        the status-bar menu's "Check for Updates..."
  quit           quit the agent
  help           this list
)";
}

// What the client's own user does, by console command.
struct ClientAction {
    std::string_view command;
    bool (EmulatedClient::*act)();
};
constexpr ClientAction clientActions[] = {
    {"launch", &EmulatedClient::launch},    {"quit-client", &EmulatedClient::quit},
    {"join", &EmulatedClient::joinMeeting}, {"leave", &EmulatedClient::leaveMeeting},
    {"mic", &EmulatedClient::toggleMic},    {"camera", &EmulatedClient::toggleCamera},
    {"hand", &EmulatedClient::toggleHand},  {"view", &EmulatedClient::toggleView},
};

std::string_view describe(const ClientState& state) {
    if (!state.isRunning)
        return "is not running";
    return state.isInMeeting ? "is in a meeting" : "is running, not in a meeting";
}

std::string_view trimmed(std::string_view text) {
    constexpr std::string_view blanks = " \t\r\n\v\f";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// Safe to echo on a terminal: no control characters, and short.
std::string printable(std::string_view text) {
    constexpr std::size_t shown = 40;
    std::string result;
    for (const char c : text.substr(0, shown)) {
        const auto byte = static_cast<unsigned char>(c);
        result += byte < 0x20 || byte == 0x7f ? '?' : c;
    }
    if (text.size() > shown)
        result += "...";
    return result;
}

}  // namespace

Console::Console(sd_event* event, int fd, Targets targets, std::ostream& trace)
    : targets_(targets),
      trace_(trace),
      reader_(event, fd,
              {.line = [this](std::string_view line) { runLine(line); },
               .tooLong =
                   [this] {
                       trace_ << "console: line longer than " << LineReader::maxLineBytes
                              << " bytes ignored; 'help' lists the commands\n";
                   },
               .ended =
                   [this](int errorNumber) {
                       if (errorNumber != 0)
                           trace_ << "console: cannot read standard input ("
                                  << std::strerror(errorNumber) << "); no more commands are read\n";
                       else
                           trace_ << "console: end of input; the agent keeps running (SIGTERM or "
                                     "Ctrl-C quits it)\n";
                   }},
              trace) {
    if (reader_.isReading())
        trace_ << "console: reading commands from standard input; 'help' lists them\n";
}

void Console::runLine(std::string_view line) {
    line = trimmed(line);
    if (line.empty())
        return;
    const auto space = line.find_first_of(" \t");
    const auto command = line.substr(0, space);
    const auto argument =
        space == std::string_view::npos ? std::string_view{} : trimmed(line.substr(space));
    run(command, argument);
}

void Console::run(std::string_view command, std::string_view argument) {
    if (command == "language")
        return setLanguage(argument);
    if (command == "unpair")
        return targets_.pairing.unpair(argument);
    if (!argument.empty())
        return unknown(std::string(command) + " " + std::string(argument));
    const auto action = std::find_if(std::begin(clientActions), std::end(clientActions),
                                     [&](const auto& entry) { return entry.command == command; });
    if (action != std::end(clientActions)) {
        if (!(targets_.client.*action->act)())
            trace_ << "console: " << command << " changed nothing: the client "
                   << describe(targets_.client.state()) << '\n';
    } else if (command == "status") {
        char text[8];
        std::snprintf(text, sizeof text, "0x%02X", targets_.session.statusByte());
        trace_ << "status: " << text << '\n';
    } else if (command == "pair-accept" || command == "pair-reject") {
        targets_.pairing.answer(command == "pair-accept");
    } else if (command == "paired") {
        targets_.pairing.listPaired();
    } else if (command == "updates") {
        trace_ << "updates: no updater on Linux; the package manager updates quorla\n";
        targets_.statusBar.choose("Check for Updates\u2026");
    } else if (command == "quit") {
        targets_.application.terminate();
    } else if (command == "help") {
        trace_ << helpText();
    } else {
        unknown(command);
    }
}

void Console::setLanguage(std::string_view key) {
    if (!targets_.client.setLanguage(key))
        trace_ << "console: language needs one of the KEYs " << clientLanguageList()
               << (key.empty() ? "" : ", not '" + printable(key) + "'") << '\n';
}

void Console::unknown(std::string_view line) {
    trace_ << "console: unknown command '" << printable(line) << "'; commands: " << commandList
           << '\n';
}

}  // namespace quorla::platform::linux_

#include "platform/linux/options.hpp"

#include <algorithm>
#include <array>
#include <nlohmann/json.hpp>

namespace quorla::platform::linux_ {

namespace {

constexpr std::array<std::string_view, 11> clientLanguages{"en",      "es", "it", "de", "fr", "ru",
                                                           "zh-hant", "zh", "ja", "pt", "ko"};

constexpr std::array<std::string_view, 7> valueOptions{
    "--record-name", "--adapter", "--client", "--mic", "--camera", "--view", "--client-language"};

std::string quoted(std::string_view text) {
    return "'" + std::string(text) + "'";
}

std::string checkedRecordName(std::string_view name) {
    if (name.empty())
        throw OptionError("--record-name: the record name is empty");
    if (name.size() > maxRecordNameBytes)
        throw OptionError("--record-name: the record name is " + std::to_string(name.size()) +
                          " bytes long; at most " + std::to_string(maxRecordNameBytes) +
                          " are allowed");
    // The settings file holds JSON text, which only takes valid UTF-8.
    try {
        (void)nlohmann::json(std::string(name)).dump();
    } catch (const nlohmann::json::exception&) {
        throw OptionError("--record-name: the record name is not valid UTF-8 text");
    }
    return std::string(name);
}

std::string checkedAdapterName(std::string_view name) {
    // It becomes part of a D-Bus object path, which allows only these characters.
    const bool isValid = !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '_';
    });
    if (!isValid)
        throw OptionError("--adapter: " + quoted(name) + " is not an adapter name such as hci0");
    return std::string(name);
}

bool onOrOff(std::string_view option, std::string_view value) {
    if (value == "on")
        return true;
    if (value == "off")
        return false;
    throw OptionError(std::string(option) + ": expected on or off, not " + quoted(value));
}

void setClient(ClientState& client, std::string_view value) {
    if (value == "not-running") {
        client.isRunning = false;
        client.isInMeeting = false;
    } else if (value == "running") {
        client.isRunning = true;
        client.isInMeeting = false;
    } else if (value == "meeting") {
        client.isRunning = true;
        client.isInMeeting = true;
    } else {
        throw OptionError("--client: expected not-running, running or meeting, not " +
                          quoted(value));
    }
}

void setView(ClientState& client, std::string_view value) {
    if (value != "gallery" && value != "speaker")
        throw OptionError("--view: expected gallery or speaker, not " + quoted(value));
    client.isSpeakerView = value == "speaker";
}

void setLanguage(ClientState& client, std::string_view value) {
    if (std::find(clientLanguages.begin(), clientLanguages.end(), value) == clientLanguages.end())
        throw OptionError(
            "--client-language: expected one of en es it de fr ru zh-hant zh ja pt "
            "ko, not " +
            quoted(value));
    client.language = std::string(value);
}

void apply(Options& options, std::string_view option, std::string_view value) {
    if (option == "--record-name")
        options.recordName = checkedRecordName(value);
    else if (option == "--adapter")
        options.adapterName = checkedAdapterName(value);
    else if (option == "--client")
        setClient(options.client, value);
    else if (option == "--mic")
        options.client.isMicOn = onOrOff(option, value);
    else if (option == "--camera")
        options.client.isCameraOn = onOrOff(option, value);
    else if (option == "--view")
        setView(options.client, value);
    else if (option == "--client-language")
        setLanguage(options.client, value);
    else
        throw OptionError("unknown option " + quoted(option));
}

}  // namespace

Options parseOptions(const std::vector<std::string_view>& arguments) {
    Options options;
    for (std::size_t index = 0; index < arguments.size(); ++index) {
        std::string_view argument = arguments[index];
        if (argument == "--help" || argument == "-h") {
            options.isHelpRequested = true;
            return options;
        }
        if (!argument.starts_with("--"))
            throw OptionError("unexpected argument " + quoted(argument));
        // Both "--option value" and "--option=value".
        if (const auto equals = argument.find('='); equals != std::string_view::npos) {
            apply(options, argument.substr(0, equals), argument.substr(equals + 1));
            continue;
        }
        if (std::find(valueOptions.begin(), valueOptions.end(), argument) == valueOptions.end())
            throw OptionError("unknown option " + quoted(argument));
        if (index + 1 == arguments.size())
            throw OptionError(std::string(argument) + " needs a value");
        apply(options, argument, arguments[++index]);
    }
    return options;
}

std::string helpText() {
    return R"(Usage: quorla [OPTION]...

Quorla makes this machine a Bluetooth LE peripheral that a companion phone app uses to
remote-control a conferencing client. On Linux the client is emulated inside the agent,
so a companion app can be developed and tested against a real BLE stack without a Mac.

The agent publishes one GATT service whose UUID is derived from an iCloud user-record
name (RFC 4122 version 5), with a status characteristic (read, notify: one byte of
meeting-state flags) and four request characteristics (microphone, camera, hand, view;
write "1" for on, anything else for off). Each request is carried out on the emulated
client; every 3 s while the client runs, and right after each request, the status byte
is sent to subscribed companions when it changed.

Options:
  --record-name NAME   the iCloud user-record name the companion app is signed in with
                       (at most 255 bytes). It is stored, so later launches may omit it.
  --adapter hciN       the Bluetooth adapter to use (default: the first BlueZ lists)
  --client STATE       the emulated client at start: not-running, running (default)
                       or meeting
  --mic on|off         its microphone at start (default off)
  --camera on|off      its camera at start (default off)
  --view gallery|speaker   its meeting view at start (default gallery)
  --client-language KEY    the language of its menus: en (default) es it de fr ru
                           zh-hant zh ja pt ko
  --help               print this help and exit

Commands on standard input (a terminal or a pipe), one per line:
  launch, quit-client  start or quit the emulated client
  join, leave          join or leave a meeting
  mic, camera, hand, view   toggle them from the client's side
  language KEY         switch the client's menu language
  status               print the current status byte
  updates              check for updates (on Linux the package manager updates quorla)
  quit                 quit the agent
  help                 list the commands

Standard output carries only the identity lines ("found userID: NAME" or the lookup's
error); the trace goes to standard error. The record name is stored in
$XDG_CONFIG_HOME/quorla/settings.json (else ~/.config/quorla/settings.json).
The agent talks to BlueZ on the system bus: Debian 12's D-Bus policy allows that to every
local user; where a policy limits org.bluez to root or the bluetooth group, run it so.
Without an adapter or bluetoothd it says so and waits. SIGTERM and SIGINT quit it cleanly.
)";
}

}  // namespace quorla::platform::linux_

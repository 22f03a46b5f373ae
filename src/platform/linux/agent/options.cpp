#include "platform/linux/agent/options.hpp"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <nlohmann/json.hpp>

#include "automation/menu_vocabulary.hpp"
#include "platform/linux/bluez/adapter_choice.hpp"

namespace quorla::platform::linux_ {

namespace {

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
    client.isActiveSelected = value == "speaker";
}

void setLanguage(ClientState& client, std::string_view value) {
    const auto keys = automation::menuLanguageKeys();
    if (std::find(keys.begin(), keys.end(), value) == keys.end())
        throw OptionError("--client-language: expected one of " + clientLanguageList() + ", not " +
                          quoted(value));
    client.language = std::string(value);
}

// CLI11 runs these in the order the options are declared, after the whole command line has
// been read; each throws OptionError with the line to show.
CLI::App& declare(CLI::App& app, Options& options) {
    app.description(
        R"(Quorla makes this machine a Bluetooth LE peripheral that a companion phone app uses to
remote-control a conferencing client. On Linux the client is emulated inside the agent,
so a companion app can be developed and tested against a real BLE stack without a Mac.

The agent publishes one GATT service whose UUID is derived from an iCloud user-record
name (RFC 4122 version 5), with a status characteristic (read, notify: one byte of
meeting-state flags) and four request characteristics (microphone, camera, hand, view;
write "1" for on, anything else for off). Each request is carried out on the emulated
client; every 3 s while the client runs, and right after each request, the status byte
is sent to subscribed companions when it changed.
)");
    app.footer(R"(Commands on standard input (a terminal or a pipe), one per line:
  launch, quit-client  start or quit the emulated client
  join, leave          join or leave a meeting
  mic, camera, hand, view   toggle them from the client's side
  language KEY         switch the client's menu language
  status               print the current status byte
  pair-accept, pair-reject  answer a companion's request to pair
  paired               list the companions paired with this computer
  unpair ADDRESS       forget a paired companion
  updates              check for updates (on Linux the package manager updates quorla)
  quit                 quit the agent
  help                 list the commands

Standard output carries only the identity lines ("found userID: NAME" or the lookup's
error); the trace goes to standard error. The record name and the pairing choice are
stored in $XDG_CONFIG_HOME/quorla/settings.json (else ~/.config/quorla/settings.json).
The agent talks to BlueZ on the system bus: Debian 12's D-Bus policy allows that to every
local user; where a policy limits org.bluez to root or the bluetooth group, run it so.
Without an adapter or bluetoothd it says so and waits. SIGTERM and SIGINT quit it cleanly.
)");
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    const auto add = [&](const char* name, const char* type, const std::string& text, auto apply) {
        app.add_option_function<std::string>(name, apply, text)->type_name(type);
    };
    add("--record-name", "NAME",
        "the companion's iCloud record name (<= 255 bytes); stored for later launches",
        [&](const std::string& value) { options.recordName = checkedRecordName(value); });
    add("--adapter", "hciN", "the Bluetooth adapter to use (default: the first BlueZ lists)",
        [&](const std::string& value) {
            if (auto error = adapterNameError(value); !error.empty())
                throw OptionError("--adapter: " + error);
            options.adapterName = value;
        });
    add("--client", "STATE",
        "the emulated client at start: not-running, running (default), meeting",
        [&](const std::string& value) { setClient(options.client, value); });
    add("--mic", "on|off", "its microphone at start (default off)",
        [&](const std::string& value) { options.client.isMicOn = onOrOff("--mic", value); });
    add("--camera", "on|off", "its camera at start (default off)",
        [&](const std::string& value) { options.client.isCameraOn = onOrOff("--camera", value); });
    add("--view", "gallery|speaker", "its meeting view at start (default gallery)",
        [&](const std::string& value) { setView(options.client, value); });
    add("--client-language", "KEY",
        "its menus' language, one of " + clientLanguageList() + " (default en)",
        [&](const std::string& value) { setLanguage(options.client, value); });
    const auto pairing = [&](bool isRequired) {
        return [&options, isRequired](std::int64_t) { options.isPairingRequired = isRequired; };
    };
    auto* require = app.add_flag_function(
        "--require-pairing", pairing(true),
        "let in only companions that paired, with the person at this computer agreeing "
        "(kept for later launches)");
    app.add_flag_function("--no-require-pairing", pairing(false),
                          "let in any companion in range again (the default)")
        ->excludes(require);
    return app;
}

}  // namespace

Options parseOptions(const std::vector<std::string_view>& arguments) {
    Options options;
    CLI::App app("", "quorla");
    declare(app, options);
    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        options.isHelpRequested = true;
    } catch (const CLI::ParseError& error) {
        throw OptionError(error.what());
    }
    return options;
}

std::string helpText() {
    Options options;
    CLI::App app("", "quorla");
    return declare(app, options).help();
}

}  // namespace quorla::platform::linux_

#include "platform/linux/remote/remote_options.hpp"

#include <CLI/CLI.hpp>

#include "bluetooth/identifiers.hpp"
#include "platform/linux/bluez/adapter_choice.hpp"

namespace quorla::remote {

namespace {

struct Given {
    std::optional<std::string> recordName;
    std::optional<std::string> service;
    std::optional<std::string> adapter;
    double timeout = 30.0;
    double settle = 1.5;
    std::vector<std::string> words;
};

CLI::App& declare(CLI::App& app, Given& given) {
    app.description(
        "quorla-remote is the companion's side of Quorla: it finds the agent over Bluetooth LE "
        "by its\nservice, shows its status byte as a person reads it and sends the requests "
        "a phone sends.\nIt works against the Linux agent and against a Mac running Quorla.\n");
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_option("--record-name", given.recordName,
                   "the iCloud user-record name whose service the agent publishes")
        ->type_name("NAME");
    app.add_option("--service", given.service,
                   "the agent's service UUID itself, instead of a record name")
        ->type_name("UUID");
    app.add_option("--adapter", given.adapter,
                   "the Bluetooth adapter to use (default: the first BlueZ lists)")
        ->type_name("hciN");
    app.add_option("--timeout", given.timeout,
                   "how long to find, connect to and check the agent (default 30)")
        ->type_name("SECONDS");
    app.add_option("--settle", given.settle,
                   "how long a request waits for its status notification (default 1.5)")
        ->type_name("SECONDS");
    app.add_option("command", given.words, "one command; none reads them from standard input")
        ->type_name("COMMAND");
    app.footer(std::string(commandHelp) + R"(
With no command, quorla-remote prints "connected to ADDRESS, service UUID" once it has
checked the agent, then every status notification, and reads commands from standard input
(a terminal or a pipe) line by line until quit or the end of the input.

Exit status: 0 on success; 1 when no agent is found within --timeout, when the link is lost,
when a BlueZ call fails, when the status byte read is invalid, when a setting does not
follow within --settle or when a check fails; 2 for bad usage.
BlueZ is left as it was found: no discovery left running, nothing left connected by it.
)");
    return app;
}

std::string checkedName(const std::string& name) {
    if (name.empty())
        throw OptionError("--record-name: the record name is empty");
    return name;
}

platform::Uuid serviceOf(const Given& given) {
    if (given.recordName.has_value() == given.service.has_value())
        throw OptionError("give one of --record-name NAME or --service UUID");
    if (given.recordName)
        return bluetooth::nameBasedUUID(checkedName(*given.recordName),
                                        bluetooth::serviceNamespaceUUID());
    const auto uuid = platform::Uuid::fromString(*given.service);
    if (!uuid)
        throw OptionError("--service: '" + *given.service +
                          "' is not a UUID such as E826E5D9-D84F-4BC0-A8E7-EE71933B7C30");
    return *uuid;
}

std::chrono::duration<double> checkedSeconds(const char* option, double value, bool mayBeZero) {
    if (!(value > 0.0 || (mayBeZero && value == 0.0)) || value > 86400.0)
        throw OptionError(std::string(option) + ": " + std::to_string(value) + " is not " +
                          (mayBeZero ? "from 0" : "above 0") + " to 86400 seconds");
    return std::chrono::duration<double>(value);
}

}  // namespace

RemoteOptions parseRemoteOptions(const std::vector<std::string_view>& arguments) {
    Given given;
    CLI::App app("", "quorla-remote");
    declare(app, given);
    RemoteOptions options;
    try {
        app.parse(std::vector<std::string>(arguments.rbegin(), arguments.rend()));
    } catch (const CLI::CallForHelp&) {
        options.isHelpRequested = true;
        return options;
    } catch (const CLI::ParseError& error) {
        throw OptionError(error.what());
    }
    options.service = serviceOf(given);
    if (given.adapter) {
        if (auto error = platform::linux_::adapterNameError(*given.adapter); !error.empty())
            throw OptionError("--adapter: " + error);
        options.adapterName = given.adapter;
    }
    options.timeout = checkedSeconds("--timeout", given.timeout, false);
    options.settle = checkedSeconds("--settle", given.settle, true);
    if (!given.words.empty()) {
        try {
            options.command =
                parseCommand(std::vector<std::string_view>(given.words.begin(), given.words.end()));
        } catch (const CommandError& error) {
            throw OptionError(error.what());
        }
    }
    return options;
}

std::string remoteHelpText() {
    Given given;
    CLI::App app("", "quorla-remote");
    return declare(app, given).help();
}

}  // namespace quorla::remote

#include "platform/linux/agent/options.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorla::platform::linux_ {
namespace {

struct BadCommandLine {
    std::vector<std::string_view> arguments;
    std::string message;  // the whole line, or for CLI11's own refusals the part naming it
};

TEST(OptionsTest, ACommandLineTheAgentCannotStartWithIsRefusedWithItsReason) {
    const std::string longName(256, 'a');
    const BadCommandLine cases[] = {
        {{"--verbose"}, "--verbose"},
        {{"--client", "meeting", "--mic"}, "--mic"},
        {{"abc"}, "abc"},
        {{"--record-name="}, "--record-name"},
        {{"--record-name", longName},
         "--record-name: the record name is 256 bytes long; at most 255 are allowed"},
        {{"--record-name", "\xc3("}, "--record-name: the record name is not valid UTF-8 text"},
        {{"--require-pairing", "--no-require-pairing"}, "--require-pairing"},
        {{"--adapter", "hci0/../x"}, "--adapter: 'hci0/../x' is not an adapter name such as hci0"},
        {{"--adapter", "hci-0"}, "--adapter: 'hci-0' is not an adapter name such as hci0"},
        {{"--client", "Meeting"},
         "--client: expected not-running, running or meeting, not 'Meeting'"},
        {{"--mic", "1"}, "--mic: expected on or off, not '1'"},
        {{"--camera=yes"}, "--camera: expected on or off, not 'yes'"},
        {{"--view", "grid"}, "--view: expected gallery or speaker, not 'grid'"},
        {{"--client-language", "zh-Hant"},
         "--client-language: expected one of en es it de fr ru zh-hant zh ja pt ko, not "
         "'zh-Hant'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        try {
            parseOptions(c.arguments);
            ADD_FAILURE() << "accepted";
        } catch (const OptionError& error) {
            const std::string line = error.what();
            EXPECT_NE(line.find(c.message), std::string::npos) << line;
            EXPECT_EQ(line.find('\n'), std::string::npos) << line;
        }
    }
}

// What the agent starts with other than the defaults (running, all off, gallery, English,
// pairing as stored), in words of its own.
std::string startsWith(const std::vector<std::string_view>& arguments) {
    const auto options = parseOptions(arguments);
    const auto& c = options.client;
    const auto word = [](bool isSaid, const std::string& text) { return isSaid ? text + " " : ""; };
    return word(bool(options.recordName), "name " + options.recordName.value_or("")) +
           word(bool(options.adapterName), "adapter " + options.adapterName.value_or("")) +
           word(!c.isRunning, "not-running") + word(c.isInMeeting, "meeting") +
           word(c.isMicOn, "mic") + word(c.isCameraOn, "camera") +
           word(c.isActiveSelected, "speaker") + word(c.language != "en", c.language) +
           word(bool(options.isPairingRequired),
                options.isPairingRequired.value_or(false) ? "pairing" : "no-pairing") +
           word(options.isHelpRequested, "help");
}

TEST(OptionsTest, EachOptionAcceptsEveryValueItNamesAndSetsOnlyWhatItNames) {
    const std::string longest(255, 'n');
    const std::pair<std::vector<std::string_view>, std::string> rows[] = {
        {{}, ""},
        {{"--record-name", longest}, "name " + longest + " "},
        {{"--record-name=\xc3\xa9"}, "name \xc3\xa9 "},
        {{"--adapter=hci1"}, "adapter hci1 "},
        {{"--client", "not-running"}, "not-running "},
        {{"--client", "meeting"}, "meeting "},
        {{"--client", "meeting", "--client", "running"}, ""},
        {{"--mic", "on", "--camera=on"}, "mic camera "},
        {{"--mic", "on", "--mic", "off", "--camera", "off"}, ""},
        {{"--view", "speaker"}, "speaker "},
        {{"--view", "speaker", "--view", "gallery"}, ""},
        {{"--client-language", "zh-hant"}, "zh-hant "},
        {{"--client-language", "ko"}, "ko "},
        {{"--require-pairing"}, "pairing "},
        {{"--no-require-pairing"}, "no-pairing "},
        {{"--mic", "on", "--help", "--bogus"}, "mic help "},
    };
    for (const auto& [arguments, expected] : rows)
        EXPECT_EQ(startsWith(arguments), expected);
}

}  // namespace
}  // namespace quorla::platform::linux_

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

// What the agent starts with, in a line of its own words.
std::string startsWith(const std::vector<std::string_view>& arguments) {
    const auto options = parseOptions(arguments);
    const auto& c = options.client;
    const auto onOff = [](bool isOn) { return isOn ? "on" : "off"; };
    return options.recordName.value_or("-") + " " + options.adapterName.value_or("-") + " " +
           (!c.isRunning    ? "not-running"
            : c.isInMeeting ? "meeting"
                            : "running") +
           " mic " + onOff(c.isMicOn) + " camera " + onOff(c.isCameraOn) + " " +
           (c.isActiveSelected ? "speaker" : "gallery") + " " + c.language + " pairing " +
           (options.isPairingRequired ? onOff(*options.isPairingRequired) : "-") +
           (options.isHelpRequested ? " help" : "");
}

TEST(OptionsTest, EachOptionAcceptsEveryValueItNamesAndSetsOnlyWhatItNames) {
    const std::string longest(255, 'n');
    const std::pair<std::vector<std::string_view>, std::string> rows[] = {
        {{}, "- - running mic off camera off gallery en pairing -"},
        {{"--record-name", longest},
         longest + " - running mic off camera off gallery en pairing -"},
        {{"--record-name=\xc3\xa9"}, "\xc3\xa9 - running mic off camera off gallery en pairing -"},
        {{"--adapter=hci1"}, "- hci1 running mic off camera off gallery en pairing -"},
        {{"--client", "not-running"}, "- - not-running mic off camera off gallery en pairing -"},
        {{"--client", "meeting"}, "- - meeting mic off camera off gallery en pairing -"},
        {{"--client", "meeting", "--client", "running"},
         "- - running mic off camera off gallery en pairing -"},
        {{"--mic", "on", "--camera=on"}, "- - running mic on camera on gallery en pairing -"},
        {{"--mic", "on", "--mic", "off", "--camera", "off"},
         "- - running mic off camera off gallery en pairing -"},
        {{"--view", "speaker"}, "- - running mic off camera off speaker en pairing -"},
        {{"--view", "speaker", "--view", "gallery"},
         "- - running mic off camera off gallery en pairing -"},
        {{"--require-pairing"}, "- - running mic off camera off gallery en pairing on"},
        {{"--no-require-pairing"}, "- - running mic off camera off gallery en pairing off"},
        {{"--mic", "on", "--help", "--bogus"},
         "- - running mic on camera off gallery en pairing - help"},
    };
    for (const auto& [arguments, expected] : rows)
        EXPECT_EQ(startsWith(arguments), expected);
    for (const char* key : {"en", "es", "it", "de", "fr", "ru", "zh-hant", "zh", "ja", "pt", "ko"})
        EXPECT_EQ(startsWith({"--client-language", key}),
                  "- - running mic off camera off gallery " + std::string(key) + " pairing -");
}

}  // namespace
}  // namespace quorla::platform::linux_

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

TEST(OptionsTest, EveryOptionSetsWhatItNames) {
    const auto options = parseOptions({"--record-name", std::string(255, 'n'), "--adapter=hci1",
                                       "--client", "meeting", "--mic", "on", "--view", "speaker",
                                       "--client-language", "zh-hant"});
    EXPECT_EQ(options.recordName, std::string(255, 'n'));
    EXPECT_EQ(options.adapterName, "hci1");
    EXPECT_TRUE(options.client.isInMeeting && options.client.isMicOn);
    EXPECT_FALSE(options.client.isCameraOn);
    EXPECT_TRUE(options.client.isActiveSelected);
    EXPECT_EQ(options.client.language, "zh-hant");
    EXPECT_EQ(options.isPairingRequired, std::nullopt);
    EXPECT_EQ(parseOptions({"--require-pairing"}).isPairingRequired, true);
    EXPECT_EQ(parseOptions({"--no-require-pairing"}).isPairingRequired, false);
    EXPECT_TRUE(parseOptions({"--mic", "on", "--help", "--bogus"}).isHelpRequested);
}

}  // namespace
}  // namespace quorla::platform::linux_

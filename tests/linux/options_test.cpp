#include "platform/linux/options.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorla::platform::linux_ {
namespace {

struct BadCommandLine {
    std::vector<std::string_view> arguments;
    std::string message;
};

TEST(OptionsTest, ACommandLineTheAgentCannotStartWithIsRefusedWithItsReason) {
    const std::string longName(256, 'a');
    const BadCommandLine cases[] = {
        {{"--verbose"}, "unknown option '--verbose'"},
        {{"--verbose", "x"}, "unknown option '--verbose'"},
        {{"--record-name"}, "--record-name needs a value"},
        {{"--client", "meeting", "--mic"}, "--mic needs a value"},
        {{"--record-name", ""}, "--record-name: the record name is empty"},
        {{"--record-name="}, "--record-name: the record name is empty"},
        {{"--record-name", longName},
         "--record-name: the record name is 256 bytes long; at most 255 are allowed"},
        {{"--record-name", "\xc3("}, "--record-name: the record name is not valid UTF-8 text"},
        {{"--adapter", "hci0/../x"}, "--adapter: 'hci0/../x' is not an adapter name such as hci0"},
        {{"--client", "Meeting"},
         "--client: expected not-running, running or meeting, not 'Meeting'"},
        {{"--mic", "1"}, "--mic: expected on or off, not '1'"},
        {{"--camera=yes"}, "--camera: expected on or off, not 'yes'"},
        {{"--view", "grid"}, "--view: expected gallery or speaker, not 'grid'"},
        {{"--client-language", "zh-Hant"},
         "--client-language: expected one of en es it de fr ru zh-hant zh ja pt ko, not "
         "'zh-Hant'"},
        {{"abc"}, "unexpected argument 'abc'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        try {
            parseOptions(c.arguments);
            ADD_FAILURE() << "accepted";
        } catch (const OptionError& error) {
            EXPECT_EQ(error.what(), c.message);
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
    EXPECT_TRUE(options.client.isSpeakerView);
    EXPECT_EQ(options.client.language, "zh-hant");
    EXPECT_TRUE(parseOptions({"--mic", "on", "--help", "--bogus"}).isHelpRequested);
}

}  // namespace
}  // namespace quorla::platform::linux_

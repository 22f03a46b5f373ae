#include "platform/linux/remote/commands.hpp"

#include <gtest/gtest.h>

#include <deque>
#include <sstream>
#include <string>

#include "platform/linux/remote/remote_options.hpp"

namespace quorla::remote {
namespace {

std::vector<std::string_view> wordsOf(const std::string& line) {
    static std::deque<std::string> kept;  // the views point into these
    std::istringstream words(line);
    std::vector<std::string_view> views;
    for (std::string word; words >> word;)
        views.push_back(kept.emplace_back(word));
    return views;
}

// A toggle asks for the state opposite to the one read: here mic and camera on, gallery view.
TEST(CommandsTest, EachRequestWordWritesItsValueToItsCharacteristic) {
    const std::pair<const char*, const char*> written[] = {
        {"mic on", "microphone 1"}, {"mic off", "microphone 0"}, {"mic toggle", "microphone 0"},
        {"camera on", "camera 1"},  {"camera off", "camera 0"},  {"camera toggle", "camera 0"},
        {"view speaker", "view 1"}, {"view gallery", "view 0"},  {"view toggle", "view 1"},
        {"hand", "hand 1"},
    };
    for (const auto& [line, wanted] : written) {
        Request request(parseCommand(wordsOf(line)), std::chrono::seconds(1));
        request.read(std::vector<std::uint8_t>{0xEB});  // in a meeting, mic and camera on
        const auto value = request.value();
        EXPECT_EQ(
            std::string(roleName(request.role())) + ' ' + std::string(value.begin(), value.end()),
            wanted)
            << line;
    }
}

// Command words and options alike, as the command line gives them.
TEST(CommandsTest, AWordOutOfPlaceOrOptionsThatExcludeEachOtherAreRefusedInOneLine) {
    const std::pair<const char*, const char*> refused[] = {
        {"--record-name abc mic", "mic takes one word: on, off or toggle"},
        {"--record-name abc view on", "view: expected speaker, gallery or toggle, not 'on'"},
        {"--record-name abc hand up", "hand takes no argument"},
        {"--record-name abc mute",
         "unknown command 'mute'; commands: status, mic on|off|toggle, camera "
         "on|off|toggle, view speaker|gallery|toggle, hand, watch, check, pair, help, quit"},
        {"--record-name abc --service E826E5D9-D84F-4BC0-A8E7-EE71933B7C30 status",
         "give one of --record-name NAME or --service UUID"},
        {"status", "give one of --record-name NAME or --service UUID"},
        {"--service e826e5d9-d84f-4bc0-a8e7-ee71933b7c3g status",
         "--service: 'e826e5d9-d84f-4bc0-a8e7-ee71933b7c3g' is not a UUID such as "
         "E826E5D9-D84F-4BC0-A8E7-EE71933B7C30"},
    };
    for (const auto& [line, error] : refused) {
        try {
            parseRemoteOptions(wordsOf(line));
            ADD_FAILURE() << line << " accepted";
        } catch (const OptionError& refusal) {
            EXPECT_EQ(refusal.what(), std::string(error));
        }
    }
}

// Plays a request, given as its command words, against the status it reads first
// (read:XX), the notifications it hears (heard:XX) and the status read once --settle (1.5 s)
// has passed (settled:XX), and tells what each step made it do.
std::string play(const std::string& words, const std::string& story) {
    Request request(parseCommand(wordsOf(words)), std::chrono::milliseconds(1500));
    std::istringstream events(story);
    std::string told;
    for (std::string event; events >> event;) {
        const auto colon = event.find(':');
        const std::vector<std::uint8_t> status{
            static_cast<std::uint8_t>(std::stoi(event.substr(colon + 1), nullptr, 16))};
        const auto verb = event.substr(0, colon);
        const auto outcome = verb == "read"    ? request.read(status)
                             : verb == "heard" ? request.notified(status)
                                               : request.settled(status);
        const char* names[] = {"write", "wait", "done", "failed"};
        told += std::string(told.empty() ? "" : " | ") + names[static_cast<int>(outcome.next)] +
                (outcome.line.empty() ? "" : ": " + outcome.line);
    }
    return told;
}

TEST(CommandsTest, ASettingWritesOnlyWhenTheStateDiffersAndEndsWithTheStatusThatShowsIt) {
    struct Case {
        const char* words;
        const char* story;
        const char* told;
    };
    const Case cases[] = {
        {"mic off", "read:E8", "done: mic is already off"},
        {"view speaker", "read:F8", "done: view is already speaker"},
        {"mic on", "read:E8 heard:E8 heard:EA",
         "write | wait | done: status 0xEA meeting, mic on, camera off, hand down, gallery view"},
        {"view gallery", "read:F8 heard:E8",
         "write | done: status 0xE8 meeting, mic off, camera off, hand down, gallery view"},
        {"mic on", "read:E0 settled:E0",
         "write | failed: mic is still off 1.5 s after the request: status 0xE0 no meeting, mic "
         "off, camera off, hand down, gallery view"},
        {"camera off", "read:E9 settled:E8",
         "write | done: status 0xE8 meeting, mic off, camera off, hand down, gallery view"},
        {"camera toggle", "read:E9 heard:E9 heard:E8",
         "write | wait | done: status 0xE8 meeting, mic off, camera off, hand down, gallery view"},
        {"mic toggle", "read:EA settled:EA",
         "write | failed: mic is still on 1.5 s after the request: status 0xEA meeting, mic on, "
         "camera off, hand down, gallery view"},
        {"hand", "read:E8 heard:E8",
         "write | done: status 0xE8 meeting, mic off, camera off, hand down, gallery view"},
        {"mic on", "read:08", "failed: status 0x08 invalid (the bits 0xE0 are not all set)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(play(c.words, c.story), c.told) << c.words << ": " << c.story;
}

}  // namespace
}  // namespace quorla::remote

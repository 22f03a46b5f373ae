#include "platform/linux/emulation/emulated_client.hpp"

#include <gtest/gtest.h>

#include <any>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>

#include "automation/menu_vocabulary.hpp"
#include "automation/script_library.hpp"
#include "bluetooth/write_request_handling.hpp"

namespace quorla::platform::linux_ {
namespace {

void run(EmulatedClient& client, const std::string& text) {
    client.createScript(text)->execute();
}

TEST(EmulatedClient, TakesEachToggleScriptsShortcutOnlyDuringAMeeting) {
    const auto typed = [](const std::string& process, const std::string& keystroke) {
        return "tell application \"System Events\"\n    tell process \"" + process + "\"\n" +
               keystroke + "\n    end tell\nend tell";
    };
    const struct {
        std::string script;
        bool ClientState::*flag;  // none: the client ignores it
    } cases[] = {
        {bluetooth::toggleScript(bluetooth::CharacteristicRole::mic), &ClientState::isMicOn},
        {bluetooth::toggleScript(bluetooth::CharacteristicRole::camera), &ClientState::isCameraOn},
        {bluetooth::toggleScript(bluetooth::CharacteristicRole::hand), &ClientState::isHandRaised},
        {bluetooth::toggleScript(bluetooth::CharacteristicRole::active),
         &ClientState::isActiveSelected},
        {typed("Finder", "keystroke \"a\" using {command down, shift down}"), nullptr},
        {typed("zoom.us", "keystroke \"a\" using command down"), nullptr},
        {typed("zoom.us", "keystroke \"y\" using {option down, shift down}"), nullptr},
    };
    const bool ClientState::*flags[] = {&ClientState::isMicOn, &ClientState::isCameraOn,
                                        &ClientState::isHandRaised, &ClientState::isActiveSelected};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        std::ostringstream trace;
        EmulatedClient client({.isInMeeting = true}, trace);
        run(client, c.script);
        for (const auto flag : flags)
            EXPECT_EQ(client.state().*flag, flag == c.flag);
        if (!c.flag)
            continue;
        run(client, c.script);
        EXPECT_FALSE(client.state().*c.flag);
        client.leaveMeeting();
        run(client, c.script);
        EXPECT_FALSE(client.state().*c.flag);
    }
}

// Carries out the checkStatus handler as its text says: the flag each found item's next line
// sets, the flags in the order returned, the process told; nothing answers anything else.
TEST(EmulatedClient, AnswersCheckStatusAsItsTextSaysAndNothingElse) {
    std::ostringstream trace;
    EmulatedClient client({.isInMeeting = true, .isMicOn = true}, trace);
    const auto english = automation::checkStatusScriptText(automation::selectMenuVocabulary({}));
    const auto replace = [](std::string text, const std::string& from, const std::string& to) {
        return text.replace(text.find(from), from.size(), to);
    };
    const AppleEvent event{
        fourCharCode("ascr"), fourCharCode("psbr"), -1, 0, {{fourCharCode("snam"), "checkStatus"}}};
    const struct {
        const char* label;
        std::string source;
        AppleEvent event;
        std::optional<std::vector<bool>> expected;  // none: no reply
    } cases[] = {
        {"as the agent writes it", english, event, {{true, true, false, false}}},
        {"mute audio sets the camera flag",
         replace(english, "set isMicActive to true", "set isCameraActive to true"),
         event,
         {{true, false, true, false}}},
        {"flags returned in another order",
         replace(english,
                 "return {isConnected, isMicActive, isCameraActive, isActiveSelected}\n    on",
                 "return {isMicActive, isConnected}\n    on"),
         event,
         {{true, true}}},
        {"another process",
         replace(english, "\"zoom.us\"", "\"Finder\""),
         event,
         {{false, false, false, false}}},
        {"toggle script", bluetooth::toggleScript(bluetooth::CharacteristicRole::mic), event,
         std::nullopt},
        {"no return list", "on checkStatus()\nend checkStatus", event, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const auto reply = client.createScript(c.source)->executeAppleEvent(c.event);
        ASSERT_EQ(reply != nullptr, c.expected.has_value());
        std::vector<bool> flags;
        for (long i = 1; reply && i <= reply->numberOfItems(); ++i)
            flags.push_back(reply->descriptorAtIndex(i)->booleanValue());
        EXPECT_EQ(flags, c.expected.value_or(flags));
    }
}

// The user's own actions: each that the state allows writes one trace line, and launch and
// quit reach workspace observers, a new process each launch; the others change nothing.
TEST(EmulatedClient, TakesTheActionsItsStateAllowsAndAnnouncesLaunchAndQuit) {
    std::ostringstream trace;
    EmulatedClient client({.isRunning = false}, trace);
    std::vector<std::string> heard;
    std::set<std::int64_t> processes;
    const auto listen = [&](const Notification& n) {
        const auto app = std::any_cast<RunningApplication>(n.userInfo.at(workspaceApplicationKey));
        heard.push_back(n.name + " " + app.localizedName.value_or("?"));
        processes.insert(app.processIdentifier);
    };
    const auto launched = client.addObserver(workspaceDidLaunchApplicationNotification, listen);
    client.addObserver(workspaceDidTerminateApplicationNotification, listen);
    // The refusals the console meets (mic, leave, launch out of turn) are its test.
    EXPECT_TRUE(!client.joinMeeting() && client.launch() && !client.launch());
    ASSERT_EQ(client.runningApplications().size(), 1u);
    EXPECT_EQ(processes, std::set{client.runningApplications()[0].processIdentifier});
    EXPECT_FALSE(client.toggleHand() || client.setLanguage("zh-han"));
    EXPECT_TRUE(client.joinMeeting() && !client.joinMeeting() && client.toggleHand());
    EXPECT_TRUE(client.quit() && !client.quit() && client.runningApplications().empty());
    EXPECT_FALSE(client.state().isInMeeting || client.state().isHandRaised);
    client.launch();
    client.removeObserver(launched);
    client.quit();
    client.launch();
    const auto launch = workspaceDidLaunchApplicationNotification + " zoom.us";
    const auto quit = workspaceDidTerminateApplicationNotification + " zoom.us";
    EXPECT_EQ(heard, (std::vector{launch, quit, launch, quit}));
    EXPECT_EQ(processes.size(), 2u) << "each launch is a process of its own";
    const auto lines = trace.str();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 7);
    EXPECT_THROW(EmulatedClient({.language = "english"}, trace), std::invalid_argument);
}

}  // namespace
}  // namespace quorla::platform::linux_

#include "automation/status_probe.hpp"

#include <gtest/gtest.h>

#include <ostream>

#include "automation/script_library.hpp"
#include "fakes/call_log.hpp"
#include "fakes/fake_preferred_languages.hpp"
#include "fakes/fake_scripting_engine.hpp"

namespace quorla::automation {

void PrintTo(const MenuStatus& status, std::ostream* out) {
    *out << "{connected " << status.isConnected << ", mic " << status.isMicActive << ", camera "
         << status.isCameraActive << ", active " << status.isActiveSelected << "}";
}

namespace {

using fakes::ReplyItem;

constexpr MenuStatus nothingLearnt{};

class StatusProbe : public testing::Test {
  protected:
    void SetUp() override { fakes::resetProcessWideFakes(); }

    // A fresh script for these languages, not the process-wide one, whose titles depend
    // on which test happened to build it first.
    MenuStatus probe(const std::vector<std::string>& languages = {"en-US"}) {
        fakes::FakePreferredLanguages::shared().tags = languages;
        return callCheckStatus(makeCheckStatusScript().get());
    }

    fakes::FakeScriptingEngine& engine = fakes::FakeScriptingEngine::shared();
    fakes::FakeConferencingClient& client = engine.client;
};

TEST_F(StatusProbe, EachFlagFollowsItsOwnItemAmongTheMeetingMenusDirectItems) {
    const struct {
        const char* story;
        bool isRunning;
        std::vector<fakes::FakeConferencingClient::Menu> menuBar;
        MenuStatus expected;
    } cases[] = {
        {"keep on top and mute audio",
         true,
         {{"Meeting", {"Keep on Top", "Mute Audio"}}},
         {true, true, false, false}},
        {"every item",
         true,
         {{"Meeting", {"Gallery View", "Stop Video", "Mute Audio", "Keep on Top"}}},
         {true, true, true, true}},
        {"no keep on top, the others still count",
         true,
         {{"Meeting", {"Mute Audio", "Stop Video", "Gallery View"}}},
         {false, true, true, true}},
        {"stop video alone", true, {{"Meeting", {"Stop Video"}}}, {false, false, true, false}},
        {"gallery view alone", true, {{"Meeting", {"Gallery View"}}}, {false, false, false, true}},
        {"items under other menus do not count",
         true,
         {{"zoom.us", {"Keep on Top"}}, {"Meeting", {"Stop Video"}}, {"View", {"Gallery View"}}},
         {false, false, true, false}},
        {"a title must match whole",
         true,
         {{"Meeting", {"Keep on top", "Mute Audio ", "Stop", "Gallery View…"}}},
         nothingLearnt},
        {"no meeting menu", true, {{"Meetings", {"Keep on Top", "Mute Audio"}}}, nothingLearnt},
        {"not running", false, {{"Meeting", {"Keep on Top", "Mute Audio"}}}, nothingLearnt},
    };
    for (const auto& example : cases) {
        client.isRunning = example.isRunning;
        client.menuBar = example.menuBar;
        EXPECT_EQ(probe(), example.expected) << example.story;
    }
}

TEST_F(StatusProbe, EveryLanguageReadsTheClientInItsOwnTitlesOnly) {
    for (const char* language : {"es", "it", "de", "fr", "ru", "zh-Hant", "zh", "ja", "pt", "ko"}) {
        SCOPED_TRACE(language);
        client.showMeeting({.isCameraOn = true, .isActiveSpeakerView = true},
                           selectMenuVocabulary({language}));
        EXPECT_EQ(probe({language}), (MenuStatus{true, false, true, true}));
        EXPECT_EQ(probe({"en"}), nothingLearnt);
        client.showMeeting({.isMicOn = true});
        EXPECT_EQ(probe({language}), nothingLearnt);
    }
}

TEST_F(StatusProbe, LearnsNothingWithoutAScriptAReplyOrTheHandler) {
    client.showMeeting({true, true, true});
    EXPECT_EQ(callCheckStatus(nullptr), nothingLearnt);
    engine.failExecution = true;
    EXPECT_EQ(probe(), nothingLearnt);
    engine.failExecution = false;
    const auto otherHandler =
        engine.createScript("on toggleMic()\n    return {true, true, true, true}\nend toggleMic");
    EXPECT_EQ(callCheckStatus(otherHandler.get()), nothingLearnt);

    // The same client read by a working script, so the cases above prove something.
    EXPECT_EQ(probe(), (MenuStatus{true, true, true, true}));
    EXPECT_EQ(
        fakes::CallLog::shared().startingWith("checkStatus"),
        (std::vector<std::string>{"checkStatus failed", "checkStatus failed", "checkStatus ran"}));
}

TEST_F(StatusProbe, OnlyAListOfExactlyFourReadableItemsIsRead) {
    constexpr auto T = ReplyItem::trueBoolean;
    constexpr auto F = ReplyItem::falseBoolean;
    const struct {
        const char* story;
        std::vector<ReplyItem> reply;
        MenuStatus expected;
    } cases[] = {
        {"four Booleans in order", {T, F, T, F}, {true, false, true, false}},
        {"the other four", {F, T, F, T}, {false, true, false, true}},
        {"third not a Boolean", {T, T, ReplyItem::notBoolean, T}, {true, true, false, true}},
        {"three items", {T, T, T}, nothingLearnt},
        {"five items", {T, T, T, T, T}, nothingLearnt},
        {"four counted, one missing", {T, T, ReplyItem::missing, T}, nothingLearnt},
        {"five counted, one missing", {T, ReplyItem::missing, F, T, T}, {true, false, true, true}},
    };
    for (const auto& example : cases) {
        engine.reply = example.reply;
        EXPECT_EQ(probe(), example.expected) << example.story;
    }
}

}  // namespace
}  // namespace quorla::automation

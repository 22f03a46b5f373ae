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

using fakes::FakeConferencingClient;
using fakes::ReplyItem;

constexpr MenuStatus nothingLearnt{};

class StatusProbe : public testing::Test {
  protected:
    void SetUp() override {
        engine.reset();
        fakes::CallLog::shared().clear();
        fakes::FakePreferredLanguages::shared() = {{"en-US"}, 0};
    }

    // A fresh script for the languages as set, not the process-wide one, whose titles
    // depend on which test happened to build it first.
    MenuStatus probe(const std::vector<std::string>& languages = {"en-US"}) {
        fakes::FakePreferredLanguages::shared().tags = languages;
        return callCheckStatus(makeCheckStatusScript().get());
    }

    fakes::FakeScriptingEngine& engine = fakes::FakeScriptingEngine::shared();
    FakeConferencingClient& client = engine.client;
};

TEST_F(StatusProbe, SendsOneSubroutineEventNamingTheHandlerAndNothingElse) {
    probe();
    probe();
    ASSERT_EQ(engine.executedEvents.size(), 2u);
    for (const auto& event : engine.executedEvents) {
        EXPECT_EQ(event.eventClass, 0x61736372u);
        EXPECT_EQ(event.eventID, 0x70736272u);
        EXPECT_EQ(event.returnID, -1);
        EXPECT_EQ(event.transactionID, 0);
        const std::map<platform::FourCharCode, std::string> onlyTheName = {
            {0x736e616du, "checkStatus"}};
        EXPECT_EQ(event.textParameters, onlyTheName);
    }
    EXPECT_TRUE(engine.executedSources.empty());
}

struct MenusAndFlags {
    const char* story;
    bool isRunning;
    std::vector<FakeConferencingClient::Menu> menuBar;
    MenuStatus expected;
};

TEST_F(StatusProbe, EachFlagFollowsItsOwnItemAmongTheMeetingMenusDirectItems) {
    const MenusAndFlags cases[] = {
        {"meeting with keep on top and mute audio",
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
        {"keep on top alone",
         true,
         {{"Meeting", {"Keep on Top", "Unmute Audio"}}},
         {true, false, false, false}},
        {"items under other menus do not count",
         true,
         {{"zoom.us", {"Keep on Top"}}, {"Meeting", {"Stop Video"}}, {"View", {"Gallery View"}}},
         {false, false, true, false}},
        {"a title must match whole",
         true,
         {{"Meeting", {"Keep on top", "Mute Audio ", "Stop", "Gallery View…"}}},
         nothingLearnt},
        {"empty meeting menu", true, {{"Meeting", {}}}, nothingLearnt},
        {"no meeting menu", true, {{"Meetings", {"Keep on Top", "Mute Audio"}}}, nothingLearnt},
        {"not running", false, {{"Meeting", {"Keep on Top", "Mute Audio"}}}, nothingLearnt},
    };
    for (const auto& example : cases) {
        client.isRunning = example.isRunning;
        client.menuBar = example.menuBar;
        EXPECT_EQ(probe(), example.expected) << example.story;
    }
}

TEST_F(StatusProbe, TitlesOfAnotherLanguageThanTheChosenOneReadAsAbsent) {
    client.showMeeting({true, true, true});
    EXPECT_EQ(probe({"fr-FR"}), nothingLearnt) << "no menu titled Réunion";
    EXPECT_EQ(probe({"de-DE"}), nothingLearnt) << "Meeting found, every item differs";

    client.menuBar = {{"Meeting", {"Im Vordergrund anzeigen", "Mute Audio", "Video beenden"}}};
    EXPECT_EQ(probe({"de-DE"}), (MenuStatus{true, false, true, false}));
    EXPECT_EQ(probe({"en-GB"}), (MenuStatus{false, true, false, false}));

    const MenuVocabulary japanese{"ミーティング", "一番上のままにします", "オーディオのミュート",
                                  "ビデオの停止", "ギャラリー ビュー"};
    client.showMeeting({.isActiveSpeakerView = true}, japanese);
    EXPECT_EQ(probe({"ja-JP"}), (MenuStatus{true, false, false, true}));
    EXPECT_EQ(probe({"en-US"}), nothingLearnt);
}

TEST_F(StatusProbe, LearnsNothingWithoutAScriptAReplyOrTheHandler) {
    client.showMeeting({true, true, true});
    EXPECT_EQ(callCheckStatus(nullptr), nothingLearnt);
    EXPECT_TRUE(engine.executedEvents.empty());

    engine.failExecution = true;
    EXPECT_EQ(probe(), nothingLearnt);
    engine.failExecution = false;

    const auto otherHandler =
        engine.createScript("on toggleMic()\n    return {true, true, true, true}\nend toggleMic");
    EXPECT_EQ(callCheckStatus(otherHandler.get()), nothingLearnt);
    EXPECT_EQ(engine.executedEvents.size(), 2u);

    // The same client read by a working script, so the cases above prove something.
    EXPECT_EQ(probe(), (MenuStatus{true, true, true, true}));
    const std::vector<std::string> log = {"checkStatus failed", "checkStatus failed",
                                          "checkStatus ran"};
    EXPECT_EQ(fakes::CallLog::shared().entries(), log);
}

struct ReplyAndFlags {
    const char* story;
    std::vector<ReplyItem> reply;
    MenuStatus expected;
};

TEST_F(StatusProbe, OnlyAListOfExactlyFourReadableItemsIsRead) {
    constexpr auto T = ReplyItem::trueBoolean;
    constexpr auto F = ReplyItem::falseBoolean;
    const ReplyAndFlags cases[] = {
        {"four Booleans in order", {T, F, T, F}, {true, false, true, false}},
        {"the other four", {F, T, F, T}, {false, true, false, true}},
        {"third not a Boolean", {T, T, ReplyItem::notBoolean, T}, {true, true, false, true}},
        {"three items", {T, T, T}, nothingLearnt},
        {"five items", {T, T, T, T, T}, nothingLearnt},
        {"empty list", {}, nothingLearnt},
        {"four counted, one missing", {T, T, ReplyItem::missing, T}, nothingLearnt},
        {"five counted, one missing", {T, ReplyItem::missing, F, T, T}, {true, false, true, true}},
    };
    client.showMeeting({true, true, true});
    for (const auto& example : cases) {
        engine.checkStatusReply = example.reply;
        EXPECT_EQ(probe(), example.expected) << example.story;
    }
}

}  // namespace
}  // namespace quorla::automation

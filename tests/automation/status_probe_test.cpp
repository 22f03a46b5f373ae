#include "automation/status_probe.hpp"

#include <gtest/gtest.h>

#include <ostream>

#include "automation/script_library.hpp"
#include "fakes/call_log.hpp"
#include "fakes/fake_preferred_languages.hpp"
#include "fakes/fake_scripting_engine.hpp"

namespace quorla::automation {

void PrintTo(const MenuStatus& s, std::ostream* out) {
    *out << "{" << s.isConnected << s.isMicActive << s.isCameraActive << s.isActiveSelected << "}";
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
    using Menus = std::vector<fakes::FakeConferencingClient::Menu>;
    const std::pair<Menus, MenuStatus> cases[] = {
        {{{"Meeting", {"Keep on Top", "Mute Audio"}}}, {true, true, false, false}},
        {{{"Meeting", {"Gallery View", "Stop Video", "Mute Audio"}}}, {false, true, true, true}},
        {{{"zoom.us", {"Keep on Top"}}, {"Meeting", {"Stop Video"}}, {"View", {"Gallery View"}}},
         {false, false, true, false}},  // items under other menus do not count
        {{{"Meeting", {"Keep on top", "Mute Audio ", "Stop"}}}, nothingLearnt},  // not whole
        {{{"Meetings", {"Keep on Top", "Mute Audio"}}}, nothingLearnt}};
    for (const auto& [menus, expected] : cases) {
        client = {true, menus};
        EXPECT_EQ(probe(), expected) << testing::PrintToString(menus.back().items);
    }
    client.isRunning = false;
    EXPECT_EQ(probe(), nothingLearnt) << "not running";
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

TEST_F(StatusProbe, LearnsNothingWithoutAScriptOrAReply) {
    client.showMeeting({true, true, true});
    EXPECT_EQ(callCheckStatus(nullptr), nothingLearnt);
    engine.failExecution = true;
    EXPECT_EQ(probe(), nothingLearnt);
    engine.failExecution = false;
    // The same client read by a working script, so the cases above prove something.
    EXPECT_EQ(probe(), (MenuStatus{true, true, true, true}));
    EXPECT_EQ(fakes::CallLog::shared().startingWith("checkStatus"),
              (std::vector<std::string>{"checkStatus failed", "checkStatus ran"}));
}

TEST_F(StatusProbe, OnlyAListOfExactlyFourReadableItemsIsRead) {
    constexpr auto T = ReplyItem::trueBoolean, F = ReplyItem::falseBoolean, M = ReplyItem::missing;
    const std::pair<std::vector<ReplyItem>, MenuStatus> cases[] = {
        {{T, F, T, F}, {true, false, true, false}},
        {{F, T, F, T}, {false, true, false, true}},
        {{T, T, ReplyItem::notBoolean, T}, {true, true, false, true}},
        {{T, T, T}, nothingLearnt},
        {{T, T, T, T, T}, nothingLearnt},
        {{T, T, M, T}, nothingLearnt},
        {{T, M, F, T, T}, {true, false, true, true}},
    };
    for (const auto& [reply, expected] : cases) {
        engine.reply = reply;
        EXPECT_EQ(probe(), expected) << testing::PrintToString(reply);
    }
}

}  // namespace
}  // namespace quorla::automation

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
using platform::linux_::ClientState;
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
};

// Which item sets which flag is the poll's test (AppTest), the titles are the vocabulary's:
// here, a client that shows no meeting in the probe's language teaches nothing.
TEST_F(StatusProbe, AClientWithNoMeetingOrInAnotherLanguageTeachesNothing) {
    for (const auto& state :
         {ClientState{.isRunning = false}, ClientState{.isMicOn = true},
          ClientState{.isInMeeting = true, .isMicOn = true, .language = "de"}}) {
        engine.setClient(state);
        EXPECT_EQ(probe(), nothingLearnt) << state.language;
    }
    EXPECT_EQ(probe({"de"}), (MenuStatus{true, true, false, false}));
}

TEST_F(StatusProbe, OnlyAListOfExactlyFourReadableItemsFromARunningScriptIsRead) {
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
    // No script, or one that fails to run, teaches nothing either.
    EXPECT_EQ(callCheckStatus(nullptr), nothingLearnt);
    engine.failExecution = true;
    EXPECT_EQ(probe(), nothingLearnt);
    EXPECT_EQ(fakes::CallLog::shared().startingWith("checkStatus").back(), "checkStatus failed");
}

}  // namespace
}  // namespace quorla::automation

#include "automation/script_library.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fakes/fake_preferred_languages.hpp"
#include "fakes/fake_scripting_engine.hpp"
#include "fakes/lines.hpp"

namespace quorla::automation {
namespace {

using fakes::splitLines;

// The handler as it must read for the English titles, written out whole.
constexpr std::string_view englishText = R"(on checkStatus()
    set isConnected to false
    set isMicActive to false
    set isCameraActive to false
    set isActiveSelected to false
    try
        tell application "System Events"
            tell process "zoom.us"
                set meetingMenu to menu bar item "Meeting" of menu bar 1
                try
                    set menuItem to menu item "Keep on Top" of menu of meetingMenu
                    set isConnected to true
                end try
                try
                    set menuItem to menu item "Mute Audio" of menu of meetingMenu
                    set isMicActive to true
                end try
                try
                    set menuItem to menu item "Stop Video" of menu of meetingMenu
                    set isCameraActive to true
                end try
                try
                    set menuItem to menu item "Gallery View" of menu of meetingMenu
                    set isActiveSelected to true
                end try
            end tell
        end tell
        return {isConnected, isMicActive, isCameraActive, isActiveSelected}
    on error
        return {isConnected, isMicActive, isCameraActive, isActiveSelected}
    end try
end checkStatus)";

constexpr std::size_t titleLines[] = {9, 11, 15, 19, 23};

std::vector<std::string> titlesOf(const MenuVocabulary& row) {
    return {row.meetingMenuTitle, row.keepOnTopTitle, row.muteAudioTitle, row.stopVideoTitle,
            row.galleryViewTitle};
}

// The English text with each line's quoted title swapped for the row's.
std::string composeFromEnglish(const MenuVocabulary& row) {
    auto lines = splitLines(englishText);
    const auto titles = titlesOf(row);
    for (std::size_t i = 0; i < titles.size(); ++i) {
        auto& line = lines[titleLines[i] - 1];
        const auto open = line.find('"') + 1;
        line.replace(open, line.find('"', open) - open, titles[i]);
    }
    std::string text;
    for (const auto& line : lines)
        text += (text.empty() ? "" : "\n") + line;
    return text;
}

TEST(CheckStatusScriptText, TheEnglishTextIs1219CharactersIn32LinesWithoutAFinalLineFeed) {
    const MenuVocabulary english{"Meeting", "Keep on Top", "Mute Audio", "Stop Video",
                                 "Gallery View"};
    const auto text = checkStatusScriptText(english);
    EXPECT_EQ(text, englishText);
    EXPECT_EQ(text.size(), 1219u);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 31);
    EXPECT_NE(text.back(), '\n');
    EXPECT_EQ(text.find('\t'), std::string::npos);
    EXPECT_EQ(text.find('\r'), std::string::npos);
}

TEST(CheckStatusScriptText, EveryRowChangesOnlyTheFiveQuotedTitles) {
    const char* oneTagPerRow[] = {"es", "it", "de", "fr", "ru", "zh-Hant",
                                  "zh", "ja", "pt", "ko", "en"};
    for (const auto* tag : oneTagPerRow) {
        const auto row = selectMenuVocabulary({tag});
        const auto text = checkStatusScriptText(row);
        std::size_t titleBytes = 0;
        for (const auto& title : titlesOf(row))
            titleBytes += title.size();
        EXPECT_EQ(text.size(), 1169 + titleBytes) << tag;
        EXPECT_EQ(splitLines(text).size(), 32u) << tag;
        EXPECT_EQ(text, composeFromEnglish(row)) << tag;
    }
}

TEST(CheckStatusScriptText, AQuoteOrBackslashInATitleCannotEndItsStringEarly) {
    const MenuVocabulary odd{"Meeting", R"(Say "hi" \ now)", "Mute Audio", "Stop Video",
                             "Gallery View"};
    const auto lines = splitLines(checkStatusScriptText(odd));
    ASSERT_EQ(lines.size(), 32u);
    EXPECT_EQ(
        lines[10],
        R"(                    set menuItem to menu item "Say \"hi\" \\ now" of menu of meetingMenu)");
}

class MakeCheckStatusScript : public testing::Test {
  protected:
    void SetUp() override {
        engine.reset();
        languages = {};
    }

    fakes::FakeScriptingEngine& engine = fakes::FakeScriptingEngine::shared();
    fakes::FakePreferredLanguages& languages = fakes::FakePreferredLanguages::shared();
};

TEST_F(MakeCheckStatusScript, ReadsTheLanguagesOnceAndCreatesAndCompilesTheirTextOnce) {
    languages.tags = {"fr-FR", "en-US"};
    const auto script = makeCheckStatusScript();
    ASSERT_NE(script, nullptr);
    EXPECT_EQ(languages.readCount, 1);
    const std::vector<std::string> french = {composeFromEnglish(selectMenuVocabulary({"fr"}))};
    EXPECT_EQ(engine.createdSources, french);
    EXPECT_EQ(engine.compiledSources, french);
    EXPECT_TRUE(engine.executedSources.empty());
    EXPECT_TRUE(engine.executedEvents.empty());
}

TEST_F(MakeCheckStatusScript, GivesNoScriptAndCompilesNothingWhenNoneCanBeMade) {
    engine.failCreation = true;
    EXPECT_EQ(makeCheckStatusScript(), nullptr);
    EXPECT_EQ(engine.createdSources.size(), 1u);
    EXPECT_TRUE(engine.compiledSources.empty());
}

}  // namespace
}  // namespace quorla::automation

#include "automation/menu_vocabulary.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace quorla::automation {
namespace {

// Written out, not taken from the code under test.
const MenuVocabulary english{"Meeting", "Keep on Top", "Mute Audio", "Stop Video", "Gallery View"};

// The row of a key, or English for none.
MenuVocabulary rowOf(const std::string& key) {
    return key.empty() ? english : selectMenuVocabulary({key});
}

// The rows are told apart from each other and English by its written-out titles, so that
// choosing a row is checked without copying the table.
TEST(SelectMenuVocabulary, TheFirstTagLowercasedPicksTheRowOfTheFirstKeyItBeginsWith) {
    const std::string keys[] = {"",        "es", "it", "de", "fr", "ru",
                                "zh-hant", "zh", "ja", "pt", "ko"};
    std::set<std::vector<std::string>> rows;
    for (const auto& key : keys) {
        const auto row = rowOf(key);
        rows.insert({row.meetingMenuTitle, row.keepOnTopTitle, row.muteAudioTitle,
                     row.stopVideoTitle, row.galleryViewTitle});
    }
    EXPECT_EQ(rows.size(), std::size(keys));
    EXPECT_EQ(selectMenuVocabulary({}), english);

    // The first tag, lowercased, picks the first key it begins with.
    const char* cases[][2] = {{"en-US", ""},
                              {"de-CH", "de"},
                              {"DE", "de"},
                              {"zh-Hant-HK", "zh-hant"},
                              {"zh-Hans-CN", "zh"},
                              {"zh-han", "zh"},
                              {"kok-IN", "ko"},
                              {"z", ""},
                              {"", ""}};
    for (const auto& [tag, key] : cases)
        EXPECT_EQ(selectMenuVocabulary({tag}), rowOf(key)) << tag;
    EXPECT_EQ(selectMenuVocabulary({"nl-NL", "fr-FR"}), rowOf("")) << "only the first tag counts";
    EXPECT_EQ(selectMenuVocabulary({"fr-FR", "nl-NL"}), rowOf("fr"));
}

}  // namespace
}  // namespace quorla::automation

#include "automation/menu_vocabulary.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "fakes/fake_conferencing_client.hpp"

namespace quorla::automation {
namespace {

using Tags = std::vector<std::string>;

MenuVocabulary rowOf(const std::string& key) {
    return selectMenuVocabulary({key});
}

// The rows are told apart from each other and English from its written-out titles, so
// that choosing a row is checked without copying the table.
TEST(SelectMenuVocabulary, EachKeyHasARowOfItsOwnAndNoTagsMeanEnglish) {
    const std::string keys[] = {"es", "it", "de", "fr", "ru", "zh-hant", "zh", "ja", "pt", "ko"};
    const auto titles = [](const MenuVocabulary& row) {
        return std::vector{row.meetingMenuTitle, row.keepOnTopTitle, row.muteAudioTitle,
                           row.stopVideoTitle, row.galleryViewTitle};
    };
    std::set rows{titles(fakes::englishClientTitles())};
    for (const auto& key : keys)
        rows.insert(titles(rowOf(key)));
    EXPECT_EQ(rows.size(), std::size(keys) + 1);
    EXPECT_EQ(selectMenuVocabulary({}), fakes::englishClientTitles());
}

TEST(SelectMenuVocabulary, TheFirstTagLowercasedPicksTheFirstKeyItBeginsWith) {
    const std::pair<Tags, std::string> cases[] = {
        {{"en-US"}, ""},
        {{"EN-GB"}, ""},
        {{"de-CH"}, "de"},
        {{"DE"}, "de"},
        {{"es-419"}, "es"},
        {{"pt-BR"}, "pt"},
        {{"zh-Hant-HK"}, "zh-hant"},
        {{"zh-Hant"}, "zh-hant"},
        {{"zh-Hans-CN"}, "zh"},
        {{"zh-TW"}, "zh"},
        {{"zh-han"}, "zh"},
        {{"kok-IN"}, "ko"},
        {{"nl-NL", "fr-FR"}, ""},
        {{"fr-FR", "nl-NL"}, "fr"},
        {{"z"}, ""},
        {{""}, ""},
    };
    for (const auto& [tags, key] : cases) {
        SCOPED_TRACE(tags.front());
        EXPECT_EQ(selectMenuVocabulary(tags),
                  key.empty() ? fakes::englishClientTitles() : rowOf(key));
    }
}

}  // namespace
}  // namespace quorla::automation

#include "automation/menu_vocabulary.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace quorla::automation {
namespace {

using Tags = std::vector<std::string>;

struct Selection {
    Tags tags;
    std::string meetingMenuTitle;
    std::string keepOnTopTitle;  // tells the German row from the English one
};

TEST(SelectMenuVocabulary, TheFirstTagLowercasedPicksTheFirstKeyItBeginsWith) {
    const Selection cases[] = {
        {{}, "Meeting", "Keep on Top"},
        {{"en-US"}, "Meeting", "Keep on Top"},
        {{"EN-GB"}, "Meeting", "Keep on Top"},
        {{"de-CH"}, "Meeting", "Im Vordergrund anzeigen"},
        {{"DE"}, "Meeting", "Im Vordergrund anzeigen"},
        {{"es-419"}, "Reunión", "Mantener en la parte superior"},
        {{"it-IT"}, "Riunione", "Mantieni in alto"},
        {{"fr-CA"}, "Réunion", "Garder en haut"},
        {{"ru-RU"}, "Конференция", "Оставить сверху"},
        {{"ja-JP"}, "ミーティング", "一番上のままにします"},
        {{"pt-PT"}, "Reunião", "Manter no topo"},
        {{"pt-BR"}, "Reunião", "Manter no topo"},
        {{"ko-KR"}, "회의", "항상 위에 표시"},
        {{"zh-Hant-HK"}, "會議", "保持在最上層"},
        {{"zh-Hant"}, "會議", "保持在最上層"},
        {{"zh-Hans-CN"}, "会议", "保持在最前面"},
        {{"zh-CN"}, "会议", "保持在最前面"},
        {{"zh-HK"}, "会议", "保持在最前面"},
        {{"zh-TW"}, "会议", "保持在最前面"},
        {{"nl-NL", "fr-FR"}, "Meeting", "Keep on Top"},
        {{"fr-FR", "nl-NL"}, "Réunion", "Garder en haut"},
        {{"kok-IN"}, "회의", "항상 위에 표시"},
        {{"z"}, "Meeting", "Keep on Top"},
        {{"zh-han"}, "会议", "保持在最前面"},
        {{""}, "Meeting", "Keep on Top"},
    };
    for (const auto& selection : cases) {
        const auto row = selectMenuVocabulary(selection.tags);
        const auto first = selection.tags.empty() ? "(none)" : selection.tags.front();
        EXPECT_EQ(row.meetingMenuTitle, selection.meetingMenuTitle) << first;
        EXPECT_EQ(row.keepOnTopTitle, selection.keepOnTopTitle) << first;
    }
}

TEST(HasLanguagePrefix, TrueExactlyWhenTheKeyRunsOutFirstOrTogether) {
    EXPECT_TRUE(hasLanguagePrefix("kok-in", "ko"));
    EXPECT_TRUE(hasLanguagePrefix("zh", "zh"));
    EXPECT_TRUE(hasLanguagePrefix("zh-hant-tw", "zh-hant"));
    EXPECT_TRUE(hasLanguagePrefix("de", ""));
    EXPECT_FALSE(hasLanguagePrefix("z", "zh"));
    EXPECT_FALSE(hasLanguagePrefix("", "zh"));
    EXPECT_FALSE(hasLanguagePrefix("zh-hans", "zh-hant"));
    EXPECT_FALSE(hasLanguagePrefix("en", "es"));
    // Lowering the tag is the selection's step, not the prefix test's.
    EXPECT_FALSE(hasLanguagePrefix("ZH", "zh"));
}

// Decodes UTF-8; none when the bytes are not well-formed.
std::optional<std::u32string> decodeUtf8(const std::string& text) {
    std::u32string decoded;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int length = lead < 0x80       ? 1
                           : lead >> 5 == 6  ? 2
                           : lead >> 4 == 14 ? 3
                           : lead >> 3 == 30 ? 4
                                             : 0;
        if (length == 0 || i + length > text.size())
            return std::nullopt;
        char32_t point = length == 1 ? lead : lead & (0x7F >> length);
        for (int k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if (next >> 6 != 2)
                return std::nullopt;
            point = point << 6 | (next & 0x3F);
        }
        decoded += point;
        i += length;
    }
    return decoded;
}

// Marks that a decomposed accent, kana voicing or Hangul syllable would leave behind.
bool isCombining(char32_t c) {
    return (c >= 0x0300 && c <= 0x036F) || c == 0x3099 || c == 0x309A ||
           (c >= 0x1100 && c <= 0x11FF);
}

bool isOtherSpace(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x00A0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200B) ||
           c == 0x202F || c == 0x205F || c == 0x3000 || c == 0xFEFF;
}

// The titles are matched byte for byte against what the client shows and written
// unescaped into script text, so a look-alike character or a quote would break the probe.
TEST(SelectMenuVocabulary, EveryRowIsDistinctAndItsTitlesArePrecomposedWithPlainSpaces) {
    const Tags oneTagPerRow[] = {{"es"}, {"it"}, {"de"}, {"fr"}, {"ru"},   {"zh-Hant"},
                                 {"zh"}, {"ja"}, {"pt"}, {"ko"}, {"en-US"}};
    std::set<std::vector<std::string>> rows;
    for (const auto& tags : oneTagPerRow) {
        const auto row = selectMenuVocabulary(tags);
        const std::vector<std::string> titles = {row.meetingMenuTitle, row.keepOnTopTitle,
                                                 row.muteAudioTitle, row.stopVideoTitle,
                                                 row.galleryViewTitle};
        rows.insert(titles);
        for (const auto& title : titles) {
            const auto decoded = decodeUtf8(title);
            ASSERT_TRUE(decoded.has_value()) << tags[0] << ": " << title;
            ASSERT_FALSE(decoded->empty()) << tags[0];
            EXPECT_NE(decoded->front(), U' ') << title;
            EXPECT_NE(decoded->back(), U' ') << title;
            EXPECT_EQ(decoded->find(U"  "), std::u32string::npos) << title;
            for (char32_t c : *decoded) {
                EXPECT_FALSE(isCombining(c)) << title << " holds U+" << std::hex << +c;
                EXPECT_FALSE(isOtherSpace(c)) << title << " holds U+" << std::hex << +c;
                EXPECT_TRUE(c != U'"' && c != U'\\') << title;
            }
        }
    }
    EXPECT_EQ(rows.size(), std::size(oneTagPerRow));
}

}  // namespace
}  // namespace quorla::automation

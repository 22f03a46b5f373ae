#include "automation/menu_vocabulary.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorla::automation {
namespace {

// The client's own titles in each language, written out here rather than taken from the
// table the code (and the emulated client) reads: a wrong title there reads as a missing
// item on a real Mac, and nothing else would notice.
const std::pair<const char*, MenuVocabulary> knownTitles[] = {
    {"en", {"Meeting", "Keep on Top", "Mute Audio", "Stop Video", "Gallery View"}},
    {"es",
     {"Reunión", "Mantener en la parte superior", "Silenciar el audio", "Parar Video",
      "Vista de galería"}},
    {"it",
     {"Riunione", "Mantieni in alto", "Disattiva audio", "Disattiva video", "Vista galleria"}},
    {"de",
     {"Meeting", "Im Vordergrund anzeigen", "Audio stummschalten", "Video beenden",
      "Galerieansicht"}},
    {"fr", {"Réunion", "Garder en haut", "Couper le son", "Arrêter vidéo", "Affichage galerie"}},
    {"ru",
     {"Конференция", "Оставить сверху", "Выключить звук аудиоустройства", "Остановить видео",
      "Вид галереи"}},
    {"zh-hant", {"會議", "保持在最上層", "音訊靜音", "停止視訊", "圖庫檢視"}},
    {"zh", {"会议", "保持在最前面", "静音", "停止视频", "画廊视图"}},
    {"ja",
     {"ミーティング", "一番上のままにします", "オーディオのミュート", "ビデオの停止",
      "ギャラリー ビュー"}},
    {"pt",
     {"Reunião", "Manter no topo", "Desativar Áudio", "Interromper Vídeo", "Exibição da Galeria"}},
    {"ko", {"회의", "항상 위에 표시", "오디오 음소거", "비디오 중지", "갤러리 보기"}},
};

MenuVocabulary titlesOf(const std::string& key) {
    for (const auto& [known, titles] : knownTitles)
        if (key == known)
            return titles;
    throw std::invalid_argument(key);
}

TEST(SelectMenuVocabulary, EachLanguageGetsTheClientsOwnTitlesAndOnlyTheFirstTagCounts) {
    // A key the code lacks falls back to English, so each is checked by its own titles.
    for (const auto& [key, titles] : knownTitles)
        EXPECT_EQ(selectMenuVocabulary({key}), titles) << key;

    // The first tag, lowercased, picks the first key it begins with; English when none.
    const char* cases[][2] = {{"en-US", "en"},      {"de-CH", "de"}, {"DE", "de"},
                              {"es-419", "es"},     {"pt-BR", "pt"}, {"zh-Hant-HK", "zh-hant"},
                              {"zh-Hans-CN", "zh"}, {"zh-HK", "zh"}, {"zh-han", "zh"},
                              {"kok-IN", "ko"},     {"z", "en"},     {"", "en"},
                              {"nl-NL", "en"},      {"xde", "en"}};
    for (const auto& [tag, key] : cases)
        EXPECT_EQ(selectMenuVocabulary({tag}), titlesOf(key)) << tag;
    EXPECT_EQ(selectMenuVocabulary({}), titlesOf("en"));
    EXPECT_EQ(selectMenuVocabulary({"nl-NL", "fr-FR"}), titlesOf("en")) << "only the first counts";
    EXPECT_EQ(selectMenuVocabulary({"fr-FR", "nl-NL"}), titlesOf("fr"));
}

}  // namespace
}  // namespace quorla::automation

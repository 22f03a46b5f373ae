#include "automation/menu_vocabulary.hpp"

#include <algorithm>
#include <array>

namespace quorla::automation {

namespace {

struct Titles {
    std::string_view meetingMenu;
    std::string_view keepOnTop;
    std::string_view muteAudio;
    std::string_view stopVideo;
    std::string_view galleryView;
};

struct Row {
    std::string_view key;
    Titles titles;
};

// In the order the keys are tested: "zh-hant" must come before "zh", which it begins with.
constexpr Row keyedRows[] = {
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

constexpr Titles englishTitles = {"Meeting", "Keep on Top", "Mute Audio", "Stop Video",
                                  "Gallery View"};

constexpr auto languageKeys = [] {
    std::array<std::string_view, std::size(keyedRows) + 1> keys{"en"};
    for (std::size_t i = 0; i < std::size(keyedRows); ++i)
        keys[i + 1] = keyedRows[i].key;
    return keys;
}();

MenuVocabulary vocabularyOf(const Titles& titles) {
    return {std::string(titles.meetingMenu), std::string(titles.keepOnTop),
            std::string(titles.muteAudio), std::string(titles.stopVideo),
            std::string(titles.galleryView)};
}

// Language tags are ASCII, so a locale-independent ASCII lowering is enough.
std::string lowercased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return text;
}

}  // namespace

MenuVocabulary selectMenuVocabulary(const std::vector<std::string>& preferredLanguages) {
    if (preferredLanguages.empty())
        return vocabularyOf(englishTitles);
    // Only the most preferred language counts, even when a later one would match.
    const auto tag = lowercased(preferredLanguages.front());
    for (const auto& row : keyedRows) {
        if (hasLanguagePrefix(tag, row.key))
            return vocabularyOf(row.titles);
    }
    return vocabularyOf(englishTitles);
}

std::span<const std::string_view> menuLanguageKeys() {
    return languageKeys;
}

bool hasLanguagePrefix(std::string_view tag, std::string_view key) {
    return tag.starts_with(key);
}

}  // namespace quorla::automation

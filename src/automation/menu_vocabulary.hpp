#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quorla::automation {

// The conferencing client's menu titles in one interface language.
struct MenuVocabulary {
    std::string meetingMenuTitle;
    std::string keepOnTopTitle;
    std::string muteAudioTitle;
    std::string stopVideoTitle;
    std::string galleryViewTitle;

    friend bool operator==(const MenuVocabulary&, const MenuVocabulary&) = default;
};

// The languages the table holds, by their keys in the order they are tested, after "en" for
// the English row, which is chosen when no key matches.
std::span<const std::string_view> menuLanguageKeys();

// The row for the first preferred language tag; English when nothing matches.
MenuVocabulary selectMenuVocabulary(const std::vector<std::string>& preferredLanguages);

// True when tag begins with key. No subtag boundary is required ("kok-IN" begins with "ko").
bool hasLanguagePrefix(std::string_view tag, std::string_view key);

}  // namespace quorla::automation

#include "platform/linux/emulation/locale_languages.hpp"

#include <string_view>

namespace quorla::platform::linux_ {

namespace {

bool isPlainLocale(std::string_view locale) {
    const auto name = locale.substr(0, locale.find_first_of(".@"));
    return name.empty() || name == "C" || name == "POSIX";
}

// language[_TERRITORY][.codeset][@modifier] to language[-Script][-TERRITORY]. Chinese gets
// its script, which is what tells traditional from simplified characters.
std::string tagOf(std::string_view locale) {
    locale = locale.substr(0, locale.find_first_of(".@"));
    const auto underscore = locale.find('_');
    const auto language = locale.substr(0, underscore);
    if (underscore == std::string_view::npos)
        return std::string(language);
    const auto territory = locale.substr(underscore + 1);
    std::string tag(language);
    if (language == "zh")
        tag += territory == "TW" || territory == "HK" || territory == "MO" ? "-Hant" : "-Hans";
    return tag + "-" + std::string(territory);
}

}  // namespace

std::vector<std::string> preferredLanguagesFrom(const EnvironmentReader& environment) {
    std::string messagesLocale;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (auto value = environment(name); value && !value->empty()) {
            messagesLocale = *value;
            break;
        }
    }
    if (isPlainLocale(messagesLocale))
        return {};

    std::vector<std::string> tags;
    std::string_view list;
    const auto language = environment("LANGUAGE");
    if (language)
        list = *language;
    while (!list.empty()) {
        const auto colon = list.find(':');
        if (const auto entry = list.substr(0, colon); !isPlainLocale(entry))
            tags.push_back(tagOf(entry));
        list = colon == std::string_view::npos ? std::string_view{} : list.substr(colon + 1);
    }
    tags.push_back(tagOf(messagesLocale));
    return tags;
}

}  // namespace quorla::platform::linux_

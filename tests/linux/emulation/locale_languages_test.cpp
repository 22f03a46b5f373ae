#include "platform/linux/emulation/locale_languages.hpp"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace quorla::platform::linux_ {
namespace {

TEST(LocaleLanguagesTest, TheEnvironmentBecomesTagsInTheOrderGettextReadsIt) {
    struct Case {
        std::map<std::string, std::string> environment;
        std::vector<std::string> tags;
    };
    const Case cases[] = {
        {{}, {}},
        {{{"LANG", "C"}, {"LANGUAGE", "de"}}, {}},
        {{{"LANG", "POSIX"}}, {}},
        {{{"LANG", "C.UTF-8"}}, {}},
        {{{"LANG", "de_DE.UTF-8"}}, {"de-DE"}},
        {{{"LANG", "fr_FR"}, {"LC_MESSAGES", "ja_JP.UTF-8"}}, {"ja-JP"}},
        {{{"LANG", "fr_FR"}, {"LC_MESSAGES", "ja_JP"}, {"LC_ALL", "ko_KR.eucKR"}}, {"ko-KR"}},
        {{{"LANG", "fr_FR"}, {"LC_ALL", ""}}, {"fr-FR"}},
        {{{"LANG", "en_US.UTF-8"}, {"LANGUAGE", "zh_TW:pt_BR::C"}},
         {"zh-Hant-TW", "pt-BR", "en-US"}},
        {{{"LANG", "zh_CN.UTF-8"}}, {"zh-Hans-CN"}},
        {{{"LANG", "zh_HK.UTF-8"}}, {"zh-Hant-HK"}},
        {{{"LANG", "sr_RS@latin"}}, {"sr-RS"}},
        {{{"LANG", "es"}}, {"es"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.environment));
        const auto tags =
            preferredLanguagesFrom([&](const char* name) -> std::optional<std::string> {
                const auto found = c.environment.find(name);
                if (found == c.environment.end())
                    return std::nullopt;
                return found->second;
            });
        EXPECT_EQ(tags, c.tags);
    }
}

}  // namespace
}  // namespace quorla::platform::linux_

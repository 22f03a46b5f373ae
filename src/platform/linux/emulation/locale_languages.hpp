#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quorla::platform::linux_ {

// Reads an environment variable; none when it is unset.
using EnvironmentReader = std::function<std::optional<std::string>(const char* name)>;

// The user's language tags, most preferred first, in the form a Mac reports them
// (de_DE.UTF-8 becomes de-DE, zh_TW becomes zh-Hant-TW): the entries of LANGUAGE, then the
// messages locale (LC_ALL, else LC_MESSAGES, else LANG). As gettext does, LANGUAGE counts
// only when the messages locale is not C or POSIX; with that locale there are none.
std::vector<std::string> preferredLanguagesFrom(const EnvironmentReader& environment);

}  // namespace quorla::platform::linux_

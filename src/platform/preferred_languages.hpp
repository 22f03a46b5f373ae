#pragma once

#include <string>
#include <vector>

namespace quorla::platform {

// The user's language tags (such as en-US or zh-Hant-TW), most preferred first.
// Defined by the platform adapter linked in.
std::vector<std::string> preferredLanguages();

}  // namespace quorla::platform

#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorla::fakes {

// The lines of a script text joined by single line feeds; a final line feed would show
// as an empty last line.
inline std::vector<std::string> splitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (auto end = text.find('\n'); end != std::string_view::npos; end = text.find('\n', start)) {
        lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    lines.emplace_back(text.substr(start));
    return lines;
}

}  // namespace quorla::fakes

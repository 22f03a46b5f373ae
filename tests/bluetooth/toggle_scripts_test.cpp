#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bluetooth/write_request_handling.hpp"
#include "fakes/lines.hpp"

namespace quorla::bluetooth {
namespace {

using fakes::splitLines;

std::size_t leadingSpaces(const std::string& line) {
    return line.find_first_not_of(' ') == std::string::npos ? line.size()
                                                            : line.find_first_not_of(' ');
}

struct ToggleCase {
    const std::string& text;
    std::string handler;
    std::string keystroke;
    std::size_t length;
};

TEST(ToggleScripts, EachIsOneHandlerThatFrontsTheClientAndSendsOneShortcut) {
    const ToggleCase cases[] = {
        {toggleMicScript(), "toggleMic", "keystroke \"a\" using {command down, shift down}", 297},
        {toggleCameraScript(), "toggleCamera", "keystroke \"v\" using {command down, shift down}",
         306},
        {toggleHandScript(), "toggleHand", "keystroke \"y\" using option down", 285},
        {toggleViewScript(), "toggleView", "keystroke \"w\" using {command down, shift down}", 300},
    };
    const std::size_t indents[] = {0, 4, 4, 8, 12, 8, 4, 4, 0, 0, 0};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.handler);
        EXPECT_EQ(c.text.size(), c.length);
        EXPECT_EQ(c.text.find_first_of("\t\r"), std::string::npos);
        const auto lines = splitLines(c.text);
        ASSERT_EQ(lines.size(), 11u);
        for (std::size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(leadingSpaces(lines[i]), indents[i]) << "line " << i + 1;
        }
        EXPECT_EQ(lines[0], "on " + c.handler + "()");
        EXPECT_EQ(
            lines[1].substr(4),
            "tell application \"System Events\" to set frontmost of process \"zoom.us\" to true");
        EXPECT_EQ(lines[4].substr(12), c.keystroke);
        EXPECT_EQ(lines[8], "end " + c.handler);
        EXPECT_EQ(lines[9], "");
        EXPECT_EQ(lines[10], c.handler + "()");
    }
}

}  // namespace
}  // namespace quorla::bluetooth

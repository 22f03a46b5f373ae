#include "automation/script_library.hpp"

#include <gtest/gtest.h>

namespace quorla::automation {
namespace {

// The handler as it must read for the English titles, written out whole.
constexpr std::string_view englishText = R"(on checkStatus()
    set isConnected to false
    set isMicActive to false
    set isCameraActive to false
    set isActiveSelected to false
    try
        tell application "System Events"
            tell process "zoom.us"
                set meetingMenu to menu bar item "Meeting" of menu bar 1
                try
                    set menuItem to menu item "Keep on Top" of menu of meetingMenu
                    set isConnected to true
                end try
                try
                    set menuItem to menu item "Mute Audio" of menu of meetingMenu
                    set isMicActive to true
                end try
                try
                    set menuItem to menu item "Stop Video" of menu of meetingMenu
                    set isCameraActive to true
                end try
                try
                    set menuItem to menu item "Gallery View" of menu of meetingMenu
                    set isActiveSelected to true
                end try
            end tell
        end tell
        return {isConnected, isMicActive, isCameraActive, isActiveSelected}
    on error
        return {isConnected, isMicActive, isCameraActive, isActiveSelected}
    end try
end checkStatus)";

TEST(CheckStatusScriptText, IsExactlyTheHandlerAndNoTitleCanEndItsStringEarly) {
    EXPECT_EQ(checkStatusScriptText(selectMenuVocabulary({})), englishText);
    auto odd = selectMenuVocabulary({});
    odd.keepOnTopTitle = R"(Say "hi" \ now)";
    const auto text = checkStatusScriptText(odd);
    EXPECT_NE(text.find(R"(menu item "Say \"hi\" \\ now" of menu)"), std::string::npos) << text;
}

}  // namespace
}  // namespace quorla::automation

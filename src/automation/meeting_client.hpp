#pragma once

#include <string_view>

#include "platform/scripting.hpp"

namespace quorla::automation {

// The conferencing client: its process as System Events and the workspace name it.
inline constexpr std::string_view clientProcessName = "zoom.us";

// A call of a named handler of a compiled script is the subroutine event of the AppleScript
// suite, with the handler's name as its one parameter.
inline constexpr platform::FourCharCode appleScriptSuite =
    platform::fourCharCode("ascr");  // kASAppleScriptSuite
inline constexpr platform::FourCharCode subroutineEvent =
    platform::fourCharCode("psbr");  // kASSubroutineEvent
inline constexpr platform::FourCharCode subroutineNameKeyword =
    platform::fourCharCode("snam");  // keyASSubroutineName

inline constexpr std::string_view checkStatusHandler = "checkStatus";

}  // namespace quorla::automation

#include "automation/script_library.hpp"

#include "automation/meeting_client.hpp"
#include "platform/preferred_languages.hpp"

namespace quorla::automation {

namespace {

// An AppleScript string literal. The built-in titles hold no quote or backslash, so for
// them this is the title between quotes; any other title must not end the literal early.
std::string quoted(std::string_view title) {
    std::string literal = "\"";
    for (char c : title) {
        if (c == '"' || c == '\\')
            literal += '\\';
        literal += c;
    }
    return literal + '"';
}

// Each item is looked up in its own try block, so a missing item clears only its own flag.
std::string itemLookup(std::string_view title, std::string_view flag) {
    return "                try\n"
           "                    set menuItem to menu item " +
           quoted(title) +
           " of menu of meetingMenu\n"
           "                    set " +
           std::string(flag) +
           " to true\n"
           "                end try\n";
}

}  // namespace

std::string checkStatusScriptText(const MenuVocabulary& vocabulary) {
    // The outer try turns an unreachable System Events, client or meeting menu into the
    // flags as they stand, all still false at that point.
    return "on checkStatus()\n"
           "    set isConnected to false\n"
           "    set isMicActive to false\n"
           "    set isCameraActive to false\n"
           "    set isActiveSelected to false\n"
           "    try\n"
           "        tell application \"System Events\"\n"
           "            tell process " +
           quoted(clientProcessName) +
           "\n"
           "                set meetingMenu to menu bar item " +
           quoted(vocabulary.meetingMenuTitle) + " of menu bar 1\n" +
           itemLookup(vocabulary.keepOnTopTitle, "isConnected") +
           itemLookup(vocabulary.muteAudioTitle, "isMicActive") +
           itemLookup(vocabulary.stopVideoTitle, "isCameraActive") +
           itemLookup(vocabulary.galleryViewTitle, "isActiveSelected") +
           "            end tell\n"
           "        end tell\n"
           "        return {isConnected, isMicActive, isCameraActive, isActiveSelected}\n"
           "    on error\n"
           "        return {isConnected, isMicActive, isCameraActive, isActiveSelected}\n"
           "    end try\n"
           "end checkStatus";
}

std::unique_ptr<platform::Script> makeCheckStatusScript() {
    const auto vocabulary = selectMenuVocabulary(platform::preferredLanguages());
    auto script = platform::scriptingEngine().createScript(checkStatusScriptText(vocabulary));
    // A script that failed to compile fails when it runs, which the probe reads as all false.
    if (script)
        script->compile();
    return script;
}

ScriptLibrary& ScriptLibrary::shared() {
    // Built on first use and never released: the compiled script serves every later probe.
    static auto* library = new ScriptLibrary{makeCheckStatusScript()};
    return *library;
}

}  // namespace quorla::automation

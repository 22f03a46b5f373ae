#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fakes/fake_conferencing_client.hpp"
#include "platform/scripting.hpp"

namespace quorla::fakes {

// One item of a reply list that a test makes up.
enum class ReplyItem {
    trueBoolean,
    falseBoolean,
    notBoolean,  // an item there is, but not one that reads as a Boolean
    missing,     // counted in the list, yet no item comes back at its index
};

// Keeps every script text it is given and fails on request. Records "script compiled",
// "script ran" or "script failed" for a run of the top level, and "<handler> ran" or
// "<handler> failed" for a subroutine event, in the call log.
//
// A subroutine event runs only as the system builds it ("ascr"/"psbr", return id -1,
// transaction 0, the handler's name under "snam" and nothing else), and only when the
// text defines that handler. The "checkStatus" handler answers reply when a test set one;
// otherwise it reads the client as its text says: when the text tells process "zoom.us"
// and the client runs, the menu named after "menu bar item" is the meeting menu, and
// each "menu item" found in it sets the flag its next line sets to true. It answers
// {isConnected, isMicActive, isCameraActive, isActiveSelected}.
class FakeScriptingEngine final : public platform::ScriptingEngine {
  public:
    // The instance scriptingEngine() returns in tests.
    static FakeScriptingEngine& shared() {
        static auto* engine = new FakeScriptingEngine;
        return *engine;
    }

    std::unique_ptr<platform::Script> createScript(std::string_view source) override;

    bool failCreation = false;
    bool failExecution = false;
    FakeConferencingClient client;
    std::optional<std::vector<ReplyItem>> reply;

    std::vector<std::string> texts;  // every text given, created or not
};

}  // namespace quorla::fakes

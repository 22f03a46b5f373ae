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

// Records every script text it is given and every script it runs, and fails on request.
// Script objects consult the engine when they run, so a script created in one test
// follows the switches, the client and the replies of the engine as that test set them.
//
// A subroutine event ("ascr"/"psbr" naming a handler under "snam") runs only when the
// script's text defines that handler. The "checkStatus" handler answers checkStatusReply
// when a test set one; otherwise it does what its text says against the client: it reads
// the meeting menu title and the four item titles from the string literals of lines 9,
// 11, 15, 19 and 23, and answers four Booleans in that order, each true when the client
// runs, shows a menu of that title, and that menu holds the item. Any other handler, a
// malformed text, a wrong event or failExecution gives no reply.
class FakeScriptingEngine final : public platform::ScriptingEngine {
  public:
    // The instance scriptingEngine() returns in tests.
    static FakeScriptingEngine& shared();

    std::unique_ptr<platform::Script> createScript(std::string_view source) override;

    void reset();

    bool failCreation = false;
    bool failExecution = false;

    FakeConferencingClient client;
    std::optional<std::vector<ReplyItem>> checkStatusReply;

    std::vector<std::string> createdSources;
    std::vector<std::string> compiledSources;
    std::vector<std::string> executedSources;          // successful and failed runs alike
    std::vector<platform::AppleEvent> executedEvents;  // answered or not
};

}  // namespace quorla::fakes

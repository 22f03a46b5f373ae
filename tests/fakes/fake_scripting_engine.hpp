#pragma once

#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/linux/emulation/emulated_client.hpp"
#include "platform/scripting.hpp"

namespace quorla::fakes {

// One item of a reply list that a test makes up.
enum class ReplyItem {
    trueBoolean,
    falseBoolean,
    notBoolean,  // an item there is, but not one that reads as a Boolean
    missing,     // counted in the list, yet no item comes back at its index
};

// Hands every script to the emulated conferencing client, which carries it out as the
// client and System Events would, and adds what a real client cannot give: failure
// switches, a made-up "checkStatus" reply and the texts it was given. Records "script
// compiled", "script ran" or "script failed" for a run of the top level, and "<handler>
// ran" or "<handler> failed" for a subroutine event, in the call log.
//
// A subroutine event reaches the client only as the system builds it ("ascr"/"psbr",
// return id -1, transaction 0, the handler's name under "snam" and nothing else). When
// the client answers it, reply, if a test set one, takes the place of the answer.
// Scripts consult the engine when they run, so a script kept from an earlier test meets
// the client and switches of the test that runs it.
class FakeScriptingEngine final : public platform::ScriptingEngine {
  public:
    // The instance scriptingEngine() returns in tests.
    static FakeScriptingEngine& shared() {
        static auto* engine = new FakeScriptingEngine;
        return *engine;
    }

    std::unique_ptr<platform::Script> createScript(std::string_view source) override;

    // As a fresh process has it: no switch, no reply, no text, the client not running.
    void reset();

    // The client the scripts reach; the reference stays valid when the client is set.
    platform::linux_::EmulatedClient& client() { return *client_; }
    void setClient(platform::linux_::ClientState state) {
        client_.emplace(std::move(state), clientTrace);
    }

    bool failCreation = false;
    bool failExecution = false;
    std::optional<std::vector<ReplyItem>> reply;
    std::vector<std::string> texts;  // every text given, created or not
    std::ostringstream clientTrace;

  private:
    std::optional<platform::linux_::EmulatedClient> client_{
        std::in_place, platform::linux_::ClientState{.isRunning = false}, clientTrace};
};

}  // namespace quorla::fakes

#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/scripting.hpp"

namespace quorla::fakes {

// Records every script text it is given and every script it runs, and fails on request.
// Script objects consult the engine when they run, so a script created in one test
// follows the switches of the engine as that test set them.
class FakeScriptingEngine final : public platform::ScriptingEngine {
  public:
    // The instance scriptingEngine() returns in tests.
    static FakeScriptingEngine& shared();

    std::unique_ptr<platform::Script> createScript(std::string_view source) override;

    void reset();

    bool failCreation = false;
    bool failExecution = false;

    std::vector<std::string> createdSources;
    std::vector<std::string> compiledSources;
    std::vector<std::string> executedSources;  // successful and failed runs alike
    std::vector<platform::AppleEvent> executedEvents;
};

}  // namespace quorla::fakes

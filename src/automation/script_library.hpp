#pragma once

#include <memory>
#include <string>

#include "automation/menu_vocabulary.hpp"
#include "platform/scripting.hpp"

namespace quorla::automation {

// The compiled scripts the agent keeps for the life of the process.
class ScriptLibrary {
  public:
    // Built from the process's scripting service and preferred languages on the first
    // call (safe against concurrent first calls); the same instance ever after.
    static ScriptLibrary& shared();

    // None only when the scripting service could not make a script object of the text.
    std::unique_ptr<platform::Script> checkStatusScript;
};

// The "checkStatus" handler text with the given titles written between its quotes.
std::string checkStatusScriptText(const MenuVocabulary& vocabulary);

// Reads the preferred languages, composes the text for their vocabulary, creates the
// script and compiles it once.
std::unique_ptr<platform::Script> makeCheckStatusScript();

}  // namespace quorla::automation

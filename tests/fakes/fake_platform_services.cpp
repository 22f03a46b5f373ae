// The process-wide platform services, as the test executables link them.
#include "fakes/call_log.hpp"
#include "fakes/fake_preferred_languages.hpp"
#include "fakes/fake_scripting_engine.hpp"
#include "fakes/fake_user_defaults.hpp"
#include "platform/preferred_languages.hpp"

namespace quorla {

void fakes::resetProcessWideFakes() {
    CallLog::shared().clear();
    FakeScriptingEngine::shared().reset();
    FakeUserDefaults::shared() = {};
    FakePreferredLanguages::shared() = {};
}

platform::ScriptingEngine& platform::scriptingEngine() {
    return fakes::FakeScriptingEngine::shared();
}

platform::UserDefaults& platform::standardUserDefaults() {
    return fakes::FakeUserDefaults::shared();
}

std::vector<std::string> platform::preferredLanguages() {
    ++fakes::FakePreferredLanguages::shared().readCount;
    return fakes::FakePreferredLanguages::shared().tags;
}

}  // namespace quorla

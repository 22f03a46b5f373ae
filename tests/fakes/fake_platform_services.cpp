// The process-wide platform services, as the test executables link them.
#include "fakes/call_log.hpp"
#include "fakes/fake_preferred_languages.hpp"
#include "fakes/fake_scripting_engine.hpp"
#include "fakes/fake_user_defaults.hpp"
#include "platform/preferred_languages.hpp"

namespace quorla {

namespace fakes {

CallLog& CallLog::shared() {
    static auto* log = new CallLog;
    return *log;
}

FakePreferredLanguages& FakePreferredLanguages::shared() {
    static auto* languages = new FakePreferredLanguages;
    return *languages;
}

FakeUserDefaults& FakeUserDefaults::shared() {
    static auto* defaults = new FakeUserDefaults;
    return *defaults;
}

std::optional<std::string> FakeUserDefaults::stringForKey(std::string_view key) const {
    auto found = values_.find(key);
    if (found == values_.end())
        return std::nullopt;
    return found->second;
}

void FakeUserDefaults::setString(std::string_view key, std::string value) {
    CallLog::shared().add("defaults set " + std::string(key) + "=" + value);
    values_.insert_or_assign(std::string(key), std::move(value));
}

void resetProcessWideFakes() {
    CallLog::shared().clear();
    auto& engine = FakeScriptingEngine::shared();
    engine.failCreation = engine.failExecution = false;
    engine.client = {};
    engine.reply.reset();
    engine.texts.clear();
    FakeUserDefaults::shared().clear();
    FakePreferredLanguages::shared() = {};
}

void FakeUserDefaults::setNonString(std::string_view key) {
    values_.insert_or_assign(std::string(key), std::nullopt);
}

}  // namespace fakes

namespace platform {

ScriptingEngine& scriptingEngine() {
    return fakes::FakeScriptingEngine::shared();
}

UserDefaults& standardUserDefaults() {
    return fakes::FakeUserDefaults::shared();
}

std::vector<std::string> preferredLanguages() {
    auto& languages = fakes::FakePreferredLanguages::shared();
    ++languages.readCount;
    return languages.tags;
}

}  // namespace platform

}  // namespace quorla

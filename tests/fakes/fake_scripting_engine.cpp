#include "fakes/fake_scripting_engine.hpp"

#include "fakes/call_log.hpp"

namespace quorla::fakes {

namespace {

class FakeScript final : public platform::Script {
  public:
    FakeScript(FakeScriptingEngine& engine, std::string source)
        : engine_(engine), source_(std::move(source)) {}

    void compile() override { engine_.compiledSources.push_back(source_); }

    void execute() override {
        engine_.executedSources.push_back(source_);
        CallLog::shared().add(engine_.failExecution ? "script failed" : "script ran");
    }

    std::unique_ptr<platform::EventDescriptor> executeAppleEvent(
        const platform::AppleEvent& event) override {
        engine_.executedEvents.push_back(event);
        return nullptr;
    }

  private:
    FakeScriptingEngine& engine_;
    std::string source_;
};

}  // namespace

FakeScriptingEngine& FakeScriptingEngine::shared() {
    static auto* engine = new FakeScriptingEngine;
    return *engine;
}

std::unique_ptr<platform::Script> FakeScriptingEngine::createScript(std::string_view source) {
    createdSources.emplace_back(source);
    if (failCreation)
        return nullptr;
    return std::make_unique<FakeScript>(*this, std::string(source));
}

void FakeScriptingEngine::reset() {
    *this = FakeScriptingEngine{};
}

}  // namespace quorla::fakes

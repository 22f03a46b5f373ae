#include "fakes/fake_scripting_engine.hpp"

#include "fakes/call_log.hpp"

namespace quorla::fakes {

namespace {

// A reply list of items, or one item of it.
struct Reply final : platform::EventDescriptor {
    Reply(std::vector<ReplyItem> items, ReplyItem kind) : items(std::move(items)), kind(kind) {}

    long numberOfItems() const override { return static_cast<long>(items.size()); }
    std::unique_ptr<platform::EventDescriptor> descriptorAtIndex(long index) const override {
        if (index < 1 || index > numberOfItems() || items[index - 1] == ReplyItem::missing)
            return nullptr;
        return std::make_unique<Reply>(std::vector<ReplyItem>{}, items[index - 1]);
    }
    bool booleanValue() const override { return kind == ReplyItem::trueBoolean; }

    std::vector<ReplyItem> items;
    ReplyItem kind;
};

// The handler a subroutine event built as the system builds it names, or none.
std::optional<std::string> subroutineName(const platform::AppleEvent& event) {
    const auto name = event.textParameters.find(platform::fourCharCode("snam"));
    if (event.eventClass != platform::fourCharCode("ascr") ||
        event.eventID != platform::fourCharCode("psbr") || event.returnID != -1 ||
        event.transactionID != 0 || event.textParameters.size() != 1 ||
        name == event.textParameters.end())
        return std::nullopt;
    return name->second;
}

struct Script final : platform::Script {
    Script(FakeScriptingEngine& engine, std::string_view source) : engine(engine), source(source) {}

    void compile() override { CallLog::shared().add("script compiled"); }
    void execute() override {
        CallLog::shared().add(engine.failExecution ? "script failed" : "script ran");
        if (!engine.failExecution)
            engine.client().createScript(source)->execute();
    }
    std::unique_ptr<platform::EventDescriptor> executeAppleEvent(
        const platform::AppleEvent& event) override {
        const auto name = subroutineName(event);
        auto answer = name && !engine.failExecution
                          ? engine.client().createScript(source)->executeAppleEvent(event)
                          : nullptr;
        if (answer && engine.reply)
            answer = std::make_unique<Reply>(*engine.reply, ReplyItem::notBoolean);
        CallLog::shared().add(name.value_or("event") + (answer ? " ran" : " failed"));
        return answer;
    }

    FakeScriptingEngine& engine;
    std::string source;
};

}  // namespace

std::unique_ptr<platform::Script> FakeScriptingEngine::createScript(std::string_view source) {
    texts.emplace_back(source);
    return failCreation ? nullptr : std::make_unique<Script>(*this, source);
}

void FakeScriptingEngine::reset() {
    failCreation = failExecution = false;
    reply.reset();
    texts.clear();
    clientTrace.str("");
    setClient({.isRunning = false});
}

}  // namespace quorla::fakes

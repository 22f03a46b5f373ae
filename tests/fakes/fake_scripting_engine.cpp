#include "fakes/fake_scripting_engine.hpp"

#include <algorithm>
#include <array>

#include "fakes/call_log.hpp"
#include "fakes/lines.hpp"

namespace quorla::fakes {

namespace {

class FakeReplyItem final : public platform::EventDescriptor {
  public:
    explicit FakeReplyItem(ReplyItem kind) : kind_(kind) {}

    long numberOfItems() const override { return 0; }
    std::unique_ptr<platform::EventDescriptor> descriptorAtIndex(long) const override {
        return nullptr;
    }
    bool booleanValue() const override { return kind_ == ReplyItem::trueBoolean; }

  private:
    ReplyItem kind_;
};

class FakeReplyList final : public platform::EventDescriptor {
  public:
    explicit FakeReplyList(std::vector<ReplyItem> items) : items_(std::move(items)) {}

    long numberOfItems() const override { return static_cast<long>(items_.size()); }
    std::unique_ptr<platform::EventDescriptor> descriptorAtIndex(long index) const override {
        if (index < 1 || index > numberOfItems())
            return nullptr;
        const auto kind = items_[static_cast<std::size_t>(index - 1)];
        if (kind == ReplyItem::missing)
            return nullptr;
        return std::make_unique<FakeReplyItem>(kind);
    }
    bool booleanValue() const override { return false; }

  private:
    std::vector<ReplyItem> items_;
};

// The text of the first AppleScript string literal on the line, escapes undone.
std::optional<std::string> firstStringLiteral(std::string_view line) {
    const auto open = line.find('"');
    if (open == std::string_view::npos)
        return std::nullopt;
    std::string text;
    for (auto i = open + 1; i < line.size(); ++i) {
        if (line[i] == '"')
            return text;
        if (line[i] == '\\' && i + 1 < line.size())
            ++i;
        text += line[i];
    }
    return std::nullopt;
}

bool definesHandler(const std::string& source, const std::string& name) {
    const auto lines = splitLines(source);
    return std::find(lines.begin(), lines.end(), "on " + name + "()") != lines.end();
}

// The meeting menu title, then the four item titles in the order of the reply.
std::optional<std::array<std::string, 5>> checkStatusTitles(const std::string& source) {
    constexpr std::size_t titleLines[] = {9, 11, 15, 19, 23};
    const auto lines = splitLines(source);
    std::array<std::string, 5> titles;
    for (std::size_t i = 0; i < titles.size(); ++i) {
        if (lines.size() < titleLines[i])
            return std::nullopt;
        auto title = firstStringLiteral(lines[titleLines[i] - 1]);
        if (!title)
            return std::nullopt;
        titles[i] = std::move(*title);
    }
    return titles;
}

std::vector<ReplyItem> readMenus(const FakeConferencingClient& client,
                                 const std::array<std::string, 5>& titles) {
    std::vector<ReplyItem> flags(4, ReplyItem::falseBoolean);
    const auto* meetingMenu = client.isRunning ? client.menu(titles[0]) : nullptr;
    if (!meetingMenu)
        return flags;
    for (std::size_t i = 0; i < flags.size(); ++i) {
        const auto& items = meetingMenu->items;
        if (std::find(items.begin(), items.end(), titles[i + 1]) != items.end())
            flags[i] = ReplyItem::trueBoolean;
    }
    return flags;
}

std::optional<std::string> subroutineName(const platform::AppleEvent& event) {
    if (event.eventClass != platform::fourCharCode("ascr") ||
        event.eventID != platform::fourCharCode("psbr"))
        return std::nullopt;
    const auto name = event.textParameters.find(platform::fourCharCode("snam"));
    if (name == event.textParameters.end())
        return std::nullopt;
    return name->second;
}

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
        auto reply = answer(event);
        const auto name = subroutineName(event).value_or("event");
        CallLog::shared().add(name + (reply ? " ran" : " failed"));
        return reply;
    }

  private:
    std::unique_ptr<platform::EventDescriptor> answer(const platform::AppleEvent& event) const {
        const auto name = subroutineName(event);
        if (engine_.failExecution || name != "checkStatus" || !definesHandler(source_, *name))
            return nullptr;
        if (engine_.checkStatusReply)
            return std::make_unique<FakeReplyList>(*engine_.checkStatusReply);
        const auto titles = checkStatusTitles(source_);
        if (!titles)
            return nullptr;
        return std::make_unique<FakeReplyList>(readMenus(engine_.client, *titles));
    }

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

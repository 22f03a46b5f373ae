#include "fakes/fake_scripting_engine.hpp"

#include <algorithm>
#include <map>

#include "fakes/call_log.hpp"

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

// The lines of a text, leading spaces dropped.
std::vector<std::string> trimmedLines(std::string_view text) {
    std::vector<std::string> lines;
    for (std::size_t start = 0; start <= text.size();) {
        auto end = std::min(text.find('\n', start), text.size());
        const auto line = text.substr(start, end - start);
        lines.emplace_back(line.substr(std::min(line.find_first_not_of(' '), line.size())));
        start = end + 1;
    }
    return lines;
}

// The text of the first AppleScript string literal after marker, escapes undone.
std::optional<std::string> literalAfter(std::string_view line, std::string_view marker) {
    const auto at = line.find(marker);
    if (at == std::string_view::npos || line.substr(at + marker.size(), 1) != "\"")
        return std::nullopt;
    std::string text;
    for (auto i = at + marker.size() + 1; i < line.size(); ++i) {
        if (line[i] == '"')
            return text;
        if (line[i] == '\\' && i + 1 < line.size())
            ++i;
        text += line[i];
    }
    return std::nullopt;
}

bool contains(const std::vector<std::string>& items, const std::string& item) {
    return std::find(items.begin(), items.end(), item) != items.end();
}

// What the checkStatus handler of source finds in client, in the order it answers.
std::vector<ReplyItem> readMenus(const std::string& source, const FakeConferencingClient& client) {
    const auto lines = trimmedLines(source);
    std::map<std::string, bool> flags{{"isConnected", false},
                                      {"isMicActive", false},
                                      {"isCameraActive", false},
                                      {"isActiveSelected", false}};
    const FakeConferencingClient::Menu* meetingMenu = nullptr;
    if (client.isRunning && contains(lines, "tell process \"zoom.us\"")) {
        for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
            if (const auto title = literalAfter(lines[i], "menu bar item ")) {
                const auto found =
                    std::find_if(client.menuBar.begin(), client.menuBar.end(),
                                 [&](const auto& menu) { return menu.title == *title; });
                meetingMenu = found == client.menuBar.end() ? nullptr : &*found;
            } else if (const auto item = literalAfter(lines[i], "menu item ")) {
                const auto& next = lines[i + 1];
                if (!meetingMenu || !next.starts_with("set ") || !next.ends_with(" to true"))
                    continue;
                const auto flag = next.substr(4, next.size() - 12);  // "set <flag> to true"
                if (flags.contains(flag) && contains(meetingMenu->items, *item))
                    flags[flag] = true;
            }
        }
    }
    std::vector<ReplyItem> reply;
    for (const auto* name : {"isConnected", "isMicActive", "isCameraActive", "isActiveSelected"})
        reply.push_back(flags[name] ? ReplyItem::trueBoolean : ReplyItem::falseBoolean);
    return reply;
}

// The handler a well-formed subroutine event names, or none.
std::optional<std::string> subroutineName(const platform::AppleEvent& event) {
    const auto name = event.textParameters.find(platform::fourCharCode("snam"));
    if (event.eventClass != platform::fourCharCode("ascr") ||
        event.eventID != platform::fourCharCode("psbr") || event.returnID != -1 ||
        event.transactionID != 0 || event.textParameters.size() != 1 ||
        name == event.textParameters.end())
        return std::nullopt;
    return name->second;
}

class FakeScript final : public platform::Script {
  public:
    FakeScript(FakeScriptingEngine& engine, std::string source)
        : engine_(engine), source_(std::move(source)) {}

    void compile() override { CallLog::shared().add("script compiled"); }

    void execute() override {
        CallLog::shared().add(engine_.failExecution ? "script failed" : "script ran");
    }

    std::unique_ptr<platform::EventDescriptor> executeAppleEvent(
        const platform::AppleEvent& event) override {
        const auto name = subroutineName(event);
        const bool defined = name && contains(trimmedLines(source_), "on " + *name + "()");
        const bool runs = defined && !engine_.failExecution;
        CallLog::shared().add(name.value_or("event") + (runs ? " ran" : " failed"));
        if (!runs || name != "checkStatus")
            return nullptr;
        return std::make_unique<FakeReplyList>(
            engine_.reply.value_or(readMenus(source_, engine_.client)));
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
    texts.emplace_back(source);
    if (failCreation)
        return nullptr;
    return std::make_unique<FakeScript>(*this, std::string(source));
}

}  // namespace quorla::fakes

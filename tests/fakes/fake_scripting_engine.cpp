#include "fakes/fake_scripting_engine.hpp"

#include <algorithm>
#include <map>
#include <sstream>

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

// The lines of a text, leading spaces dropped.
std::vector<std::string> trimmedLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line.substr(std::min(line.find_first_not_of(' '), line.size())));
    return lines;
}

bool contains(const std::vector<std::string>& list, const std::string& wanted) {
    return std::find(list.begin(), list.end(), wanted) != list.end();
}

// The text of the string literal that follows marker on the line, escapes undone.
std::optional<std::string> literalAfter(const std::string& line, const std::string& marker) {
    const auto open = line.find(marker + '"');
    if (open == std::string::npos)
        return std::nullopt;
    std::string text;
    for (auto at = open + marker.size() + 1; at < line.size(); ++at) {
        if (line[at] == '"')
            return text;
        at += line[at] == '\\';
        text += line[at];
    }
    return std::nullopt;
}

// What the checkStatus handler of lines finds in the client, in the order it answers.
std::vector<ReplyItem> readMenus(const std::vector<std::string>& lines,
                                 const FakeConferencingClient& client) {
    const char* names[] = {"isConnected", "isMicActive", "isCameraActive", "isActiveSelected"};
    std::map<std::string, bool> flags;
    const FakeConferencingClient::Menu* meetingMenu = nullptr;
    const bool reached = client.isRunning && contains(lines, "tell process \"zoom.us\"");
    for (std::size_t i = 0; reached && i + 1 < lines.size(); ++i) {
        if (const auto title = literalAfter(lines[i], "menu bar item ")) {
            const auto found = std::find_if(client.menuBar.begin(), client.menuBar.end(),
                                            [&](const auto& menu) { return menu.title == *title; });
            meetingMenu = found == client.menuBar.end() ? nullptr : &*found;
        } else if (const auto item = literalAfter(lines[i], "menu item ")) {
            const auto& next = lines[i + 1];  // "set <flag> to true"
            if (meetingMenu && contains(meetingMenu->items, *item) && next.starts_with("set ") &&
                next.ends_with(" to true"))
                flags[next.substr(4, next.size() - 12)] = true;
        }
    }
    std::vector<ReplyItem> reply;
    for (const auto* name : names)
        reply.push_back(flags[name] ? ReplyItem::trueBoolean : ReplyItem::falseBoolean);
    return reply;
}

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
    Script(FakeScriptingEngine& engine, std::string_view source)
        : engine(engine), lines(trimmedLines(std::string(source))) {}

    void compile() override { CallLog::shared().add("script compiled"); }
    void execute() override {
        CallLog::shared().add(engine.failExecution ? "script failed" : "script ran");
    }
    std::unique_ptr<platform::EventDescriptor> executeAppleEvent(
        const platform::AppleEvent& event) override {
        const auto name = subroutineName(event);
        const bool runs = name && contains(lines, "on " + *name + "()") && !engine.failExecution;
        CallLog::shared().add(name.value_or("event") + (runs ? " ran" : " failed"));
        if (!runs || name != "checkStatus")
            return nullptr;
        return std::make_unique<Reply>(engine.reply.value_or(readMenus(lines, engine.client)),
                                       ReplyItem::notBoolean);
    }

    FakeScriptingEngine& engine;
    std::vector<std::string> lines;
};

}  // namespace

std::unique_ptr<platform::Script> FakeScriptingEngine::createScript(std::string_view source) {
    texts.emplace_back(source);
    return failCreation ? nullptr : std::make_unique<Script>(*this, source);
}

}  // namespace quorla::fakes

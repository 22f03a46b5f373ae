#include "platform/linux/emulation/script_reader.hpp"

#include <algorithm>
#include <map>
#include <optional>

#include "automation/meeting_client.hpp"
#include "platform/linux/emulation/emulated_client.hpp"

namespace quorla::platform::linux_ {

namespace {

using automation::clientProcessName;

class BooleanDescriptor final : public platform::EventDescriptor {
  public:
    explicit BooleanDescriptor(bool value) : value_(value) {}

    long numberOfItems() const override { return 0; }
    std::unique_ptr<platform::EventDescriptor> descriptorAtIndex(long) const override {
        return nullptr;
    }
    bool booleanValue() const override { return value_; }

  private:
    bool value_;
};

class BooleanListDescriptor final : public platform::EventDescriptor {
  public:
    explicit BooleanListDescriptor(std::vector<bool> items) : items_(std::move(items)) {}

    long numberOfItems() const override { return static_cast<long>(items_.size()); }
    std::unique_ptr<platform::EventDescriptor> descriptorAtIndex(long index) const override {
        if (index < 1 || index > numberOfItems())
            return nullptr;
        return std::make_unique<BooleanDescriptor>(items_[static_cast<std::size_t>(index - 1)]);
    }
    bool booleanValue() const override { return false; }

  private:
    std::vector<bool> items_;
};

std::vector<std::string_view> splitOn(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    while (true) {
        const auto end = text.find(separator);
        parts.push_back(text.substr(0, end));
        if (end == std::string_view::npos)
            return parts;
        text.remove_prefix(end + 1);
    }
}

// The AppleScript string literal that follows marker on the line (the marker ends with its
// opening quote), escapes undone; none when the line has no such literal.
std::optional<std::string> literalAfter(std::string_view line, std::string_view marker) {
    const auto start = line.find(marker);
    if (start == std::string_view::npos)
        return std::nullopt;
    std::string text;
    for (auto i = start + marker.size(); i < line.size(); ++i) {
        if (line[i] == '"')
            return text;
        if (line[i] == '\\' && i + 1 < line.size())
            ++i;
        text += line[i];
    }
    return std::nullopt;
}

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The text between prefix and suffix when line is exactly prefix, text, suffix.
std::optional<std::string_view> between(std::string_view line, std::string_view prefix,
                                        std::string_view suffix) {
    if (line.size() < prefix.size() + suffix.size() || !line.starts_with(prefix) ||
        !line.ends_with(suffix))
        return std::nullopt;
    return line.substr(prefix.size(), line.size() - prefix.size() - suffix.size());
}

// The items of an AppleScript list, written "a, b, c" once its braces are gone.
std::vector<std::string_view> listItems(std::string_view list) {
    std::vector<std::string_view> items;
    if (trimmed(list).empty())
        return items;
    for (const auto item : splitOn(list, ','))
        items.push_back(trimmed(item));
    return items;
}

struct Shortcut {
    std::string key;
    std::vector<std::string> modifiers;
};

// `keystroke "a" using {command down, shift down}` or `keystroke "y" using option down`.
std::optional<Shortcut> shortcutOf(std::string_view line) {
    auto key = literalAfter(line, "keystroke \"");
    if (!key)
        return std::nullopt;
    Shortcut shortcut{std::move(*key), {}};
    const auto using_ = line.find(" using ");
    if (using_ == std::string_view::npos)
        return shortcut;
    const auto modifiers = trimmed(line.substr(using_ + 7));
    for (auto modifier : listItems(between(modifiers, "{", "}").value_or(modifiers))) {
        if (modifier.ends_with(" down"))
            modifier.remove_suffix(5);
        shortcut.modifiers.emplace_back(modifier);
    }
    return shortcut;
}

bool definesHandler(const std::vector<std::string_view>& lines, std::string_view name) {
    const auto definition = "on " + std::string(name) + "()";
    return std::find(lines.begin(), lines.end(), definition) != lines.end();
}

// The "checkStatus" handler of a text, read as System Events would carry it out: the flags
// it sets false; the menu it opens by title, and whether it tells "zoom.us" then; each item
// it looks up there setting the flag its next line sets true; and the flags in the order of
// its return list.
struct CheckStatus {
    struct Step {
        enum class Kind { clearFlag, openMenu, lookUpItem } kind;
        std::size_t flag = 0;          // clearFlag, lookUpItem
        std::string text{};            // the menu's or the item's title
        bool isTellingClient = false;  // openMenu
    };
    std::size_t flagCount = 0;
    std::vector<Step> steps;
    std::vector<std::size_t> returned;
};

// None for a text whose handler does not read this way.
std::optional<CheckStatus> readCheckStatus(const std::vector<std::string_view>& lines) {
    using Kind = CheckStatus::Step::Kind;
    CheckStatus program;
    std::map<std::string_view, std::size_t> flags;
    bool isTellingClient = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto line = lines[i];
        const auto next = i + 1 < lines.size() ? lines[i + 1] : std::string_view{};
        if (const auto flag = between(line, "set ", " to false")) {
            const auto index = flags.emplace(*flag, flags.size()).first->second;
            program.steps.push_back({Kind::clearFlag, index});
        } else if (const auto process = literalAfter(line, "tell process \"")) {
            isTellingClient = process == clientProcessName;
        } else if (const auto title = literalAfter(line, "menu bar item \"")) {
            program.steps.push_back({Kind::openMenu, 0, *title, isTellingClient});
        } else if (const auto item = literalAfter(line, "menu item \"")) {
            const auto flag = between(next, "set ", " to true");
            if (const auto found = flag ? flags.find(*flag) : flags.end(); found != flags.end())
                program.steps.push_back({Kind::lookUpItem, found->second, *item});
        } else if (const auto names = between(line, "return {", "}")) {
            for (const auto name : listItems(*names)) {
                const auto found = flags.find(name);
                if (found == flags.end())
                    return std::nullopt;
                program.returned.push_back(found->second);
            }
            program.flagCount = flags.size();
            return program;
        }
    }
    return std::nullopt;
}

std::vector<bool> runCheckStatus(const CheckStatus& program, const EmulatedClient& client) {
    using Kind = CheckStatus::Step::Kind;
    std::vector<bool> flags(program.flagCount, false);
    std::vector<std::string> menuItems;  // of the menu the handler opened
    for (const auto& step : program.steps) {
        if (step.kind == Kind::clearFlag)
            flags[step.flag] = false;
        else if (step.kind == Kind::openMenu)
            menuItems =
                step.isTellingClient ? client.menuItems(step.text) : std::vector<std::string>{};
        else if (std::find(menuItems.begin(), menuItems.end(), step.text) != menuItems.end())
            flags[step.flag] = true;
    }
    std::vector<bool> reply;
    for (const auto flag : program.returned)
        reply.push_back(flags[flag]);
    return reply;
}

bool isSubroutineEvent(const platform::AppleEvent& event, std::string_view handler) {
    const auto name = event.textParameters.find(automation::subroutineNameKeyword);
    return event.eventClass == automation::appleScriptSuite &&
           event.eventID == automation::subroutineEvent && name != event.textParameters.end() &&
           name->second == handler;
}

}  // namespace

struct ReadScript {
    std::vector<Shortcut> shortcuts;  // System Events types them into "zoom.us", in order
    std::optional<CheckStatus> checkStatus;

    explicit ReadScript(std::string_view source) {
        std::vector<std::string_view> lines;
        for (const auto line : splitOn(source, '\n'))
            lines.push_back(trimmed(line));
        // System Events types each keystroke into the process the script tells.
        bool isTellingClient = false;
        for (const auto line : lines) {
            if (const auto process = literalAfter(line, "tell process \""))
                isTellingClient = process == clientProcessName;
            else if (line == "end tell")
                isTellingClient = false;
            else if (auto shortcut = shortcutOf(line); shortcut && isTellingClient)
                shortcuts.push_back(std::move(*shortcut));
        }
        if (definesHandler(lines, automation::checkStatusHandler))
            checkStatus = readCheckStatus(lines);
    }
};

namespace {

class EmulatedScript final : public platform::Script {
  public:
    EmulatedScript(EmulatedClient& client, std::shared_ptr<const ReadScript> script)
        : client_(client), script_(std::move(script)) {}

    // Nothing to prepare: the text was read when the script was created.
    void compile() override {}

    void execute() override {
        for (const auto& shortcut : script_->shortcuts)
            client_.receiveShortcut(shortcut.key, shortcut.modifiers);
    }

    std::unique_ptr<platform::EventDescriptor> executeAppleEvent(
        const platform::AppleEvent& event) override {
        if (!isSubroutineEvent(event, automation::checkStatusHandler) || !script_->checkStatus)
            return nullptr;
        return std::make_unique<BooleanListDescriptor>(
            runCheckStatus(*script_->checkStatus, client_));
    }

  private:
    EmulatedClient& client_;
    std::shared_ptr<const ReadScript> script_;
};

}  // namespace

std::shared_ptr<const ReadScript> readScript(std::string_view source) {
    return std::make_shared<const ReadScript>(source);
}

std::unique_ptr<platform::Script> makeScript(EmulatedClient& client,
                                             std::shared_ptr<const ReadScript> script) {
    return std::make_unique<EmulatedScript>(client, std::move(script));
}

}  // namespace quorla::platform::linux_

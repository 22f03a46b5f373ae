#include "platform/linux/bluez/adapter_choice.hpp"

#include <algorithm>
#include <cctype>

namespace quorla::platform::linux_ {

namespace {

bool isDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// The run of digits at the start of text, without its leading zeros.
std::string_view number(std::string_view text, std::size_t& length) {
    length = 0;
    while (length < text.size() && isDigit(text[length]))
        ++length;
    auto digits = text.substr(0, length);
    while (digits.size() > 1 && digits.front() == '0')
        digits.remove_prefix(1);
    return digits;
}

}  // namespace

bool naturalLess(std::string_view left, std::string_view right) {
    while (!left.empty() && !right.empty()) {
        if (isDigit(left.front()) && isDigit(right.front())) {
            std::size_t leftLength = 0, rightLength = 0;
            const auto a = number(left, leftLength), b = number(right, rightLength);
            if (a.size() != b.size())
                return a.size() < b.size();
            if (a != b)
                return a < b;
            left.remove_prefix(leftLength);
            right.remove_prefix(rightLength);
        } else if (left.front() != right.front()) {
            return left.front() < right.front();
        } else {
            left.remove_prefix(1);
            right.remove_prefix(1);
        }
    }
    return left.empty() && !right.empty();
}

std::string adapterName(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

void AdapterChoice::bluezFound() {
    isBluezPresent_ = true;
    adapters_.clear();
}

void AdapterChoice::bluezGone() {
    isBluezPresent_ = false;
    adapters_.clear();
}

void AdapterChoice::setPowered(const std::string& path, bool isPowered) {
    adapters_[path] = isPowered;
}

std::optional<bool> AdapterChoice::isPowered(const std::string& path) const {
    const auto found = adapters_.find(path);
    return found == adapters_.end() ? std::nullopt : std::optional(found->second);
}

bool AdapterChoice::remove(const std::string& path) {
    return adapters_.erase(path) > 0;
}

AdapterChoice::Choice AdapterChoice::choice() const {
    using State = platform::ManagerState;
    auto chosen = adapters_.begin();
    if (wantedName_) {
        while (chosen != adapters_.end() && adapterName(chosen->first) != *wantedName_)
            ++chosen;
    }
    if (chosen == adapters_.end())
        return {std::nullopt, isBluezPresent_ ? State::unsupported : State::unknown};
    return {chosen->first, chosen->second ? State::poweredOn : State::poweredOff};
}

std::optional<AdapterChoice::Choice> AdapterChoice::takeChange() {
    const auto now = choice();
    if (taken_ == now)
        return std::nullopt;
    taken_ = now;
    return now;
}

std::string adapterNameError(std::string_view name) {
    // It becomes part of a D-Bus object path, which allows only these characters.
    const bool isValid = !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '_';
    });
    if (isValid)
        return {};
    // Appended piece by piece: GCC 12 at -O3 mistakes a chained operator+ for an
    // overlapping copy (-Wrestrict).
    std::string error = "'";
    error.append(name).append("' is not an adapter name such as hci0");
    return error;
}

}  // namespace quorla::platform::linux_

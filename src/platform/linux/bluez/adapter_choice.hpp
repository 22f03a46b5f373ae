#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/peripheral.hpp"

namespace quorla::platform::linux_ {

// "hci2" before "hci10": runs of digits compare by their value.
bool naturalLess(std::string_view left, std::string_view right);

struct NaturalLess {
    bool operator()(std::string_view left, std::string_view right) const {
        return naturalLess(left, right);
    }
};

// The adapters BlueZ lists and the one the agent publishes on: the one named on the command
// line, else the first in natural order. Plain data, filled in by whoever watches BlueZ.
class AdapterChoice {
  public:
    struct Choice {
        std::optional<std::string> adapter;  // its object path
        platform::ManagerState state = platform::ManagerState::unknown;
        bool operator==(const Choice&) const = default;
    };

    // wantedName: "hci0" and the like, or none for the first adapter.
    explicit AdapterChoice(std::optional<std::string> wantedName)
        : wantedName_(std::move(wantedName)) {}

    const std::optional<std::string>& wantedName() const { return wantedName_; }

    // bluetoothd answered: it is running, and the adapters it lists follow.
    void bluezFound();
    void bluezGone();
    void setPowered(const std::string& path, bool isPowered);
    std::optional<bool> isPowered(const std::string& path) const;
    // False when it was not listed.
    bool remove(const std::string& path);

    Choice choice() const;
    // The choice once each time it differs from the one last taken. A switch to another
    // adapter counts even in the same state, since nothing of ours is registered there.
    std::optional<Choice> takeChange();

  private:
    std::optional<std::string> wantedName_;
    bool isBluezPresent_ = false;
    std::map<std::string, bool, NaturalLess> adapters_;  // object path -> powered
    std::optional<Choice> taken_;
};

// Why name cannot be an adapter's name (hci0 and the like); empty when it can.
std::string adapterNameError(std::string_view name);

// "hci0" of "/org/bluez/hci0".
std::string adapterName(const std::string& path);

}  // namespace quorla::platform::linux_

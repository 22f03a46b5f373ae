#pragma once

#include <optional>
#include <string>

#include "platform/status_bar.hpp"

namespace quorla::fakes {

// The system status bar with room for one item. Records "status item", "icon <symbol>"
// and "menu <titles, separators as ->" in the call log.
class FakeStatusBar final : public platform::StatusBar {
  public:
    std::unique_ptr<platform::StatusItem> makeVariableLengthItem() override;

    // The user chooses the item with this title; fails the test when there is none.
    void simulateMenuSelection(const std::string& title);

    // Off: the system gives items no button.
    bool itemsHaveButton = true;
    // The menu of the item while it is in the bar.
    std::optional<platform::Menu> menu;
};

}  // namespace quorla::fakes

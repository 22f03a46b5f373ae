#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <string_view>

#include "platform/status_bar.hpp"

namespace quorla::platform::linux_ {

// Linux has no status bar the agent could sit in: the item's icon changes and its menu are
// written to the trace, and the console clicks the menu's commands by title.
class TracedStatusBar final : public platform::StatusBar {
  public:
    explicit TracedStatusBar(std::ostream& trace);
    ~TracedStatusBar() override;

    std::unique_ptr<platform::StatusItem> makeVariableLengthItem() override;

    // Runs the action of the item's menu command with that title, as a click would. False
    // when no item or no such command exists.
    bool choose(std::string_view title);

  private:
    class Item;

    std::ostream& trace_;
    // The item the core holds; it clears this when the core lets go of it.
    Item* item_ = nullptr;
};

}  // namespace quorla::platform::linux_

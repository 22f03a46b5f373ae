#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "fakes/call_log.hpp"
#include "platform/status_bar.hpp"

namespace quorla::fakes {

// The system status bar with room for one item. Records "status item", "icon <symbol>"
// and "menu <titles, separators as ->" in the call log.
class FakeStatusBar final : public platform::StatusBar {
  public:
    std::unique_ptr<platform::StatusItem> makeVariableLengthItem() override {
        CallLog::shared().add("status item");
        return std::make_unique<Item>(*this);
    }

    // The user chooses the item with this title; fails the test when there is none.
    void simulateMenuSelection(const std::string& title) {
        ASSERT_TRUE(menu) << "no menu to choose from";
        for (const auto& item : menu->items) {
            if (!item.isSeparator && item.title == title)
                return std::function(item.action)();  // a copy: it may take the menu away
        }
        ADD_FAILURE() << "no menu item titled " << title;
    }

    // Off: the system gives items no button.
    bool itemsHaveButton = true;
    // The menu of the item while it is in the bar.
    std::optional<platform::Menu> menu;

  private:
    struct Item final : platform::StatusItem, platform::StatusBarButton {
        explicit Item(FakeStatusBar& bar) : bar(bar) {}
        ~Item() override { bar.menu.reset(); }
        StatusBarButton* button() override { return bar.itemsHaveButton ? this : nullptr; }
        void setSymbolImage(const std::string& symbol) override {
            CallLog::shared().add("icon " + symbol);
        }
        void setMenu(platform::Menu menu) override {
            std::string entry = "menu";
            for (const auto& item : menu.items)
                entry += " " + (item.isSeparator ? "-" : item.title);
            CallLog::shared().add(entry);
            bar.menu = std::move(menu);
        }
        FakeStatusBar& bar;
    };
};

}  // namespace quorla::fakes

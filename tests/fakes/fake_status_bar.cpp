#include "fakes/fake_status_bar.hpp"

#include <gtest/gtest.h>

#include "fakes/call_log.hpp"

namespace quorla::fakes {

namespace {

class FakeButton final : public platform::StatusBarButton {
  public:
    void setSymbolImage(const std::string& symbolName) override {
        CallLog::shared().add("icon " + symbolName);
    }
};

class FakeStatusItem final : public platform::StatusItem {
  public:
    explicit FakeStatusItem(FakeStatusBar& bar) : bar_(bar) {}
    // The item leaves the bar, and its menu with it.
    ~FakeStatusItem() override { bar_.menu.reset(); }

    platform::StatusBarButton* button() override {
        return bar_.itemsHaveButton ? &button_ : nullptr;
    }

    void setMenu(platform::Menu menu) override {
        std::string entry = "menu";
        for (const auto& item : menu.items)
            entry += " " + (item.isSeparator ? "-" : item.title);
        CallLog::shared().add(entry);
        bar_.menu = std::move(menu);
    }

  private:
    FakeStatusBar& bar_;
    FakeButton button_;
};

}  // namespace

std::unique_ptr<platform::StatusItem> FakeStatusBar::makeVariableLengthItem() {
    CallLog::shared().add("status item");
    return std::make_unique<FakeStatusItem>(*this);
}

void FakeStatusBar::simulateMenuSelection(const std::string& title) {
    ASSERT_TRUE(menu) << "no menu to choose from";
    for (const auto& item : menu->items) {
        if (!item.isSeparator && item.title == title) {
            ASSERT_TRUE(item.action) << title << " has no action";
            auto action = item.action;  // a copy: the action may take the menu away
            action();
            return;
        }
    }
    ADD_FAILURE() << "no menu item titled " << title;
}

}  // namespace quorla::fakes

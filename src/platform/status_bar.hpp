#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quorla::platform {

// A titled command, or a separator line. Items never carry a keyboard shortcut.
struct MenuItem {
    std::string title;
    std::function<void()> action;
    bool isSeparator = false;

    static MenuItem separator() { return {{}, {}, true}; }
};

struct Menu {
    std::vector<MenuItem> items;
};

class StatusBarButton {
  public:
    virtual ~StatusBarButton() = default;

    // The system symbol of that name; where the system has none, the button shows a short
    // title instead, so that the item never vanishes.
    virtual void setSymbolImage(const std::string& symbolName) = 0;
};

class StatusItem {
  public:
    virtual ~StatusItem() = default;

    // None when the system gives the item no button; the item can still hold a menu.
    virtual StatusBarButton* button() = 0;
    // Shown when the user clicks the item; actions run on the main thread.
    virtual void setMenu(Menu menu) = 0;
};

class StatusBar {
  public:
    virtual ~StatusBar() = default;

    // An item whose width follows its content; it stays in the bar while held.
    virtual std::unique_ptr<StatusItem> makeVariableLengthItem() = 0;
};

}  // namespace quorla::platform

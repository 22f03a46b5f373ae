#include "platform/linux/emulation/traced_status_bar.hpp"

#include <utility>

namespace quorla::platform::linux_ {

class TracedStatusBar::Item final : public platform::StatusItem, public platform::StatusBarButton {
  public:
    Item(TracedStatusBar& bar) : bar_(&bar) {}
    ~Item() override {
        if (bar_)
            bar_->item_ = nullptr;
    }

    platform::StatusBarButton* button() override { return this; }

    void setMenu(platform::Menu menu) override {
        menu_ = std::move(menu);
        if (!bar_)
            return;
        bar_->trace_ << "status bar: menu";
        for (const auto& item : menu_.items)
            bar_->trace_ << (item.isSeparator ? " | ---" : " | " + item.title);
        bar_->trace_ << '\n';
    }

    void setSymbolImage(const std::string& symbolName) override {
        // A real status bar shows no change when the same image is set again.
        if (symbolName == symbolName_ || !bar_)
            return;
        symbolName_ = symbolName;
        bar_->trace_ << "status bar: icon " << symbolName << '\n';
    }

    bool choose(std::string_view title) const {
        for (const auto& item : menu_.items) {
            if (!item.isSeparator && item.title == title) {
                if (item.action)
                    item.action();
                return true;
            }
        }
        return false;
    }

    // The bar went first; the core may keep its item a little longer.
    void detach() { bar_ = nullptr; }

  private:
    TracedStatusBar* bar_;
    platform::Menu menu_;
    std::string symbolName_;
};

TracedStatusBar::TracedStatusBar(std::ostream& trace) : trace_(trace) {}

TracedStatusBar::~TracedStatusBar() {
    if (item_)
        item_->detach();
}

std::unique_ptr<platform::StatusItem> TracedStatusBar::makeVariableLengthItem() {
    if (item_)
        item_->detach();
    auto item = std::make_unique<Item>(*this);
    item_ = item.get();
    return item;
}

bool TracedStatusBar::choose(std::string_view title) {
    return item_ && item_->choose(title);
}

}  // namespace quorla::platform::linux_

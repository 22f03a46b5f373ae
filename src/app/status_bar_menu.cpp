#include <string>

#include "app/app_delegate.hpp"

namespace quorla::app {

void AppDelegate::buildMenu() {
    if (!statusBarItem)
        return;
    auto weakSelf = weak_from_this();
    platform::Menu menu;
    menu.items.push_back({"Check for Updates\u2026", [weakSelf] {
                              if (auto self = weakSelf.lock())
                                  self->checkForUpdates();
                          }});
    menu.items.push_back(platform::MenuItem::separator());
    menu.items.push_back(
        {"Quit Quorla", [&application = platform_.application] { application.terminate(); }});
    statusBarItem->setMenu(std::move(menu));
}

void AppDelegate::checkForUpdates() {
    if (updater)
        updater->checkForUpdates();
}

void AppDelegate::updateStatusIcon(bool isConnected) {
    setStatusIcon(isConnected ? meetingSymbolName : idleSymbolName);
}

void AppDelegate::setStatusIcon(std::string_view symbolName) {
    if (!statusBarItem)
        return;
    if (auto* button = statusBarItem->button())
        button->setSymbolImage(std::string(symbolName));
}

}  // namespace quorla::app

#pragma once

// The application shell's platform services: the application object, the status bar,
// the update framework, the workspace and the identity service. Each records what the
// core asks of it in the call log.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "fakes/call_log.hpp"
#include "platform/application.hpp"
#include "platform/cloud_identity.hpp"
#include "platform/notification_center.hpp"
#include "platform/status_bar.hpp"
#include "platform/updater.hpp"
#include "platform/workspace.hpp"

namespace quorla::fakes {

// The application object. run only launches: the test plays the rest of the main loop
// through FakeMainQueue. Records "application terminate" in the call log.
class FakeApplication final : public platform::Application {
  public:
    int run(platform::ApplicationDelegate& delegate) override {
        delegate_ = &delegate;
        delegate.applicationDidFinishLaunching();
        return 0;
    }

    // The loop ends: the delegate hears that it is about to.
    void terminate() override {
        CallLog::shared().add("application terminate");
        if (delegate_)
            delegate_->applicationWillTerminate();
    }

  private:
    platform::ApplicationDelegate* delegate_ = nullptr;
};

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

// The update framework, present or not. Its updaters record "updater created",
// "updater feed <url or none>", "updater background check" and "updater user check".
struct FakeUpdateFramework {
    struct Updater final : platform::Updater {
        Updater() { CallLog::shared().add("updater created"); }
        void setFeedURL(std::optional<std::string> url) override {
            CallLog::shared().add("updater feed " + url.value_or("none"));
        }
        void checkForUpdatesInBackground() override {
            CallLog::shared().add("updater background check");
        }
        void checkForUpdates() override { CallLog::shared().add("updater user check"); }
    };

    // None while isAvailable is off, as when the framework cannot be loaded.
    std::unique_ptr<platform::Updater> makeUpdater() {
        return isAvailable ? std::make_unique<Updater>() : nullptr;
    }

    bool isAvailable = true;
};

// Applications launch and quit when the test says so. Records "workspace scan" and
// "workspace observe <name>" in the call log.
class FakeWorkspace final : public platform::Workspace {
  public:
    std::vector<platform::RunningApplication> runningApplications() const override {
        CallLog::shared().add("workspace scan");
        return running;
    }
    ObserverToken addObserver(const std::string& name, Observer observer) override {
        CallLog::shared().add("workspace observe " + name);
        ++observerCount;
        return center_.addObserver(name, std::move(observer));
    }
    void removeObserver(ObserverToken token) override {
        --observerCount;
        center_.removeObserver(token);
    }

    // Listed, then announced. Each launch gets a process identifier of its own.
    platform::RunningApplication simulateLaunch(std::optional<std::string> name) {
        running.push_back({nextProcessIdentifier_++, std::move(name)});
        post({platform::workspaceDidLaunchApplicationNotification,
              {{platform::workspaceApplicationKey, running.back()}}});
        return running.back();
    }
    // Announced while still listed, as the platform may do, then no longer listed.
    void simulateTerminate(platform::RunningApplication application) {
        post({platform::workspaceDidTerminateApplicationNotification,
              {{platform::workspaceApplicationKey, application}}});
        std::erase_if(running, [&](const auto& listed) {
            return listed.processIdentifier == application.processIdentifier;
        });
    }
    // Delivers any notification, well-formed or not, to the observers of its name.
    void post(platform::Notification notification) { center_.post(std::move(notification)); }

    std::vector<platform::RunningApplication> running;
    int observerCount = 0;

  private:
    platform::NotificationCenter center_;
    std::int64_t nextProcessIdentifier_ = 501;
};

// The identity service: a lookup stays pending until the test completes it, which it
// does on a thread of its own, as the real service may. Records "identity lookup
// <container>".
class FakeCloudIdentity final : public platform::CloudIdentity {
  public:
    void fetchUserRecordID(std::string_view container, Completion completion) override {
        CallLog::shared().add("identity lookup " + std::string(container));
        EXPECT_FALSE(pending_) << "a second lookup while one is pending";
        pending_ = std::move(completion);
    }

    // Returns once the completion has run on the service's thread and been let go.
    void complete(std::optional<platform::UserRecordID> recordID,
                  std::optional<platform::CloudError> error = std::nullopt) {
        ASSERT_TRUE(pending_) << "no lookup to complete";
        std::thread([&, completion = std::exchange(pending_, nullptr)] {
            completion(std::move(recordID), std::move(error));
        }).join();
    }

  private:
    Completion pending_;
};

}  // namespace quorla::fakes

#pragma once

#include <memory>
#include <string>

#include "fakes/call_log.hpp"
#include "platform/updater.hpp"

namespace quorla::fakes {

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

}  // namespace quorla::fakes

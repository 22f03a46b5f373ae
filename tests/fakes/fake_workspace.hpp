#pragma once

#include <optional>
#include <string>
#include <vector>

#include "fakes/call_log.hpp"
#include "platform/notification_center.hpp"
#include "platform/workspace.hpp"

namespace quorla::fakes {

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

}  // namespace quorla::fakes

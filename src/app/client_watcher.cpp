#include <any>

#include "app/app_delegate.hpp"
#include "automation/meeting_client.hpp"

namespace quorla::app {

namespace {

// The conferencing client, by its exact display name.
bool isClient(const platform::RunningApplication& application) {
    return application.localizedName == automation::clientProcessName;
}

}  // namespace

bool AppDelegate::isClientRunning() const {
    return isClientRunningOtherThan(std::nullopt);
}

bool AppDelegate::isClientRunningOtherThan(std::optional<std::int64_t> processIdentifier) const {
    for (const auto& application : platform_.workspace.runningApplications()) {
        if (isClient(application) && application.processIdentifier != processIdentifier) {
            return true;
        }
    }
    return false;
}

void AppDelegate::handleWorkspaceNotification(
    const platform::Notification& notification,
    void (AppDelegate::*action)(const platform::RunningApplication& client)) {
    const auto entry = notification.userInfo.find(platform::workspaceApplicationKey);
    if (entry == notification.userInfo.end())
        return;
    const auto* application = std::any_cast<platform::RunningApplication>(&entry->second);
    if (!application || !isClient(*application))
        return;
    (this->*action)(*application);
}

void AppDelegate::clientDidLaunch(const platform::RunningApplication&) {
    startPolling();
}

void AppDelegate::clientDidTerminate(const platform::RunningApplication& client) {
    // Another instance still in a meeting must keep being reported; the one terminating
    // may still be listed, so it is left out by identity.
    if (isClientRunningOtherThan(client.processIdentifier))
        return;
    stopPolling();
}

}  // namespace quorla::app

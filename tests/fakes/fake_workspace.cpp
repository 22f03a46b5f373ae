#include "fakes/fake_workspace.hpp"

#include <algorithm>

#include "fakes/call_log.hpp"

namespace quorla::fakes {

std::vector<platform::RunningApplication> FakeWorkspace::runningApplications() const {
    CallLog::shared().add("workspace scan");
    return running;
}

FakeWorkspace::ObserverToken FakeWorkspace::addObserver(const std::string& name,
                                                        Observer observer) {
    CallLog::shared().add("workspace observe " + name);
    const auto token = center_.addObserver(name, std::move(observer));
    tokens_.insert(token);
    return token;
}

void FakeWorkspace::removeObserver(ObserverToken token) {
    center_.removeObserver(token);
    tokens_.erase(token);
}

platform::RunningApplication FakeWorkspace::simulateLaunch(std::optional<std::string> name) {
    platform::RunningApplication application{nextProcessIdentifier_++, std::move(name)};
    running.push_back(application);
    post({platform::workspaceDidLaunchApplicationNotification,
          {{platform::workspaceApplicationKey, application}}});
    return application;
}

void FakeWorkspace::simulateTerminate(const platform::RunningApplication& application) {
    post({platform::workspaceDidTerminateApplicationNotification,
          {{platform::workspaceApplicationKey, application}}});
    std::erase_if(running, [&](const auto& listed) {
        return listed.processIdentifier == application.processIdentifier;
    });
}

void FakeWorkspace::post(platform::Notification notification) {
    center_.post(std::move(notification));
}

}  // namespace quorla::fakes

#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/notification_center.hpp"
#include "platform/workspace.hpp"

namespace quorla::fakes {

// Applications launch and quit when the test says so. Records "workspace scan" and
// "workspace observe <name>" in the call log.
class FakeWorkspace final : public platform::Workspace {
  public:
    std::vector<platform::RunningApplication> runningApplications() const override;
    ObserverToken addObserver(const std::string& name, Observer observer) override;
    void removeObserver(ObserverToken token) override;

    // Listed, then announced. Each launch gets a process identifier of its own.
    platform::RunningApplication simulateLaunch(std::optional<std::string> name);
    // Announced while still listed, as the platform may do, then no longer listed.
    void simulateTerminate(const platform::RunningApplication& application);
    // Delivers any notification, well-formed or not, to the observers of its name.
    void post(platform::Notification notification);

    std::size_t observerCount() const { return tokens_.size(); }

    std::vector<platform::RunningApplication> running;

  private:
    platform::NotificationCenter center_;
    std::set<ObserverToken> tokens_;
    std::int64_t nextProcessIdentifier_ = 501;
};

}  // namespace quorla::fakes

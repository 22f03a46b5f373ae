#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/notification_center.hpp"

namespace quorla::platform {

struct RunningApplication {
    // Tells two instances of the same application apart; never reused while either runs.
    std::int64_t processIdentifier = 0;
    // Absent for applications that have no display name.
    std::optional<std::string> localizedName;
};

// The workspace's own notification center: the user info of both notifications holds
// the RunningApplication concerned under workspaceApplicationKey.
inline const std::string workspaceDidLaunchApplicationNotification =
    "NSWorkspaceDidLaunchApplicationNotification";
inline const std::string workspaceDidTerminateApplicationNotification =
    "NSWorkspaceDidTerminateApplicationNotification";
inline const std::string workspaceApplicationKey = "NSWorkspaceApplicationKey";

class Workspace {
  public:
    using Observer = NotificationCenter::Observer;
    using ObserverToken = NotificationCenter::ObserverToken;

    virtual ~Workspace() = default;

    // In the platform's order. An application that has just terminated may still be
    // listed while its termination is being delivered.
    virtual std::vector<RunningApplication> runningApplications() const = 0;

    // Observers run on the main thread.
    virtual ObserverToken addObserver(const std::string& name, Observer observer) = 0;
    virtual void removeObserver(ObserverToken token) = 0;
};

}  // namespace quorla::platform

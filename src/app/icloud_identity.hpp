#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string_view>

#include "platform/cloud_identity.hpp"
#include "platform/main_queue.hpp"
#include "platform/user_defaults.hpp"

namespace quorla::app {

// The one container the application is entitled to.
inline constexpr std::string_view cloudContainerIdentifier = "iCloud.app.quorla.Quorla";

using IdentityContinuation = std::function<void(std::optional<platform::UserRecordID> recordID,
                                                std::optional<platform::CloudError> error)>;

// Looks up the signed-in user's record name and returns at once. On the main queue, once
// the lookup completes: logs the outcome to console, stores a non-empty name under
// "quorla.iCloudUserID" in defaults, then calls continuation exactly once. A failed
// lookup keeps the name stored by an earlier launch. mainQueue, defaults and console
// must outlive the lookup.
void fetchICloudUserID(platform::CloudIdentity& cloudIdentity, platform::MainQueue& mainQueue,
                       platform::UserDefaults& defaults, std::ostream& console,
                       IdentityContinuation continuation);

}  // namespace quorla::app

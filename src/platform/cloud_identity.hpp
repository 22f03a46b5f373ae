#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace quorla::platform {

struct UserRecordID {
    std::string recordName;
};

struct CloudError {
    std::string localizedDescription;
};

class CloudIdentity {
  public:
    using Completion =
        std::function<void(std::optional<UserRecordID> recordID, std::optional<CloudError> error)>;

    virtual ~CloudIdentity() = default;

    // Looks up the signed-in user's record in the given container and returns at once.
    // The completion runs exactly once, on whatever thread the service chooses.
    virtual void fetchUserRecordID(std::string_view containerIdentifier, Completion completion) = 0;
};

}  // namespace quorla::platform

#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/cloud_identity.hpp"

namespace quorla::fakes {

// The identity service: a lookup stays pending until the test completes it, on the
// test's thread or on one of its own. Records "identity lookup <container>".
class FakeCloudIdentity final : public platform::CloudIdentity {
  public:
    void fetchUserRecordID(std::string_view containerIdentifier, Completion completion) override;

    bool isPending() const { return static_cast<bool>(pending_); }

    // Completes the pending lookup on the calling thread and lets go of its completion.
    void complete(std::optional<platform::UserRecordID> recordID,
                  std::optional<platform::CloudError> error);
    void completeWithRecordName(std::string recordName) {
        complete(platform::UserRecordID{std::move(recordName)}, std::nullopt);
    }
    void completeWithError(std::string description) {
        complete(std::nullopt, platform::CloudError{std::move(description)});
    }
    // Completes on a thread of its own, as the real service may; returns once it ended.
    void completeOnAnotherThread(std::optional<platform::UserRecordID> recordID,
                                 std::optional<platform::CloudError> error);

    // Runs while a lookup starts, so a test can look at the world at that moment.
    std::function<void()> onFetch;
    std::vector<std::string> containerIdentifiers;

  private:
    Completion pending_;
};

}  // namespace quorla::fakes

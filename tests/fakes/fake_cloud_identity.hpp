#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/cloud_identity.hpp"

namespace quorla::fakes {

// The identity service: a lookup stays pending until the test completes it, on the
// test's thread or on one of its own. Records "identity lookup <container>".
class FakeCloudIdentity final : public platform::CloudIdentity {
  public:
    void fetchUserRecordID(std::string_view containerIdentifier, Completion completion) override;

    // Completes the pending lookup on the calling thread and lets go of its completion.
    void complete(std::optional<platform::UserRecordID> recordID,
                  std::optional<platform::CloudError> error = std::nullopt);
    // Completes on a thread of its own, as the real service may; returns once it ended.
    void completeOnAnotherThread(std::optional<platform::UserRecordID> recordID);

    // Runs while a lookup starts, so a test can look at the world at that moment.
    std::function<void()> onFetch;

  private:
    Completion pending_;
};

}  // namespace quorla::fakes

#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <thread>
#include <utility>

#include "fakes/call_log.hpp"
#include "platform/cloud_identity.hpp"

namespace quorla::fakes {

// The identity service: a lookup stays pending until the test completes it, which it
// does on a thread of its own, as the real service may. Records "identity lookup
// <container>".
class FakeCloudIdentity final : public platform::CloudIdentity {
  public:
    void fetchUserRecordID(std::string_view container, Completion completion) override {
        CallLog::shared().add("identity lookup " + std::string(container));
        EXPECT_FALSE(pending_) << "a second lookup while one is pending";
        pending_ = std::move(completion);
    }

    // Returns once the completion has run on the service's thread and been let go.
    void complete(std::optional<platform::UserRecordID> recordID,
                  std::optional<platform::CloudError> error = std::nullopt) {
        ASSERT_TRUE(pending_) << "no lookup to complete";
        std::thread([&, completion = std::exchange(pending_, nullptr)] {
            completion(std::move(recordID), std::move(error));
        }).join();
    }

  private:
    Completion pending_;
};

}  // namespace quorla::fakes

#include "fakes/fake_cloud_identity.hpp"

#include <gtest/gtest.h>

#include <thread>
#include <utility>

#include "fakes/call_log.hpp"

namespace quorla::fakes {

void FakeCloudIdentity::fetchUserRecordID(std::string_view containerIdentifier,
                                          Completion completion) {
    CallLog::shared().add("identity lookup " + std::string(containerIdentifier));
    EXPECT_FALSE(pending_) << "a second lookup while one is pending";
    pending_ = std::move(completion);
    if (onFetch)
        onFetch();
}

void FakeCloudIdentity::complete(std::optional<platform::UserRecordID> recordID,
                                 std::optional<platform::CloudError> error) {
    ASSERT_TRUE(pending_) << "no lookup to complete";
    std::exchange(pending_, nullptr)(std::move(recordID), std::move(error));
}

void FakeCloudIdentity::completeOnAnotherThread(std::optional<platform::UserRecordID> recordID) {
    ASSERT_TRUE(pending_) << "no lookup to complete";
    auto completion = std::exchange(pending_, nullptr);
    std::thread([&] { completion(std::move(recordID), std::nullopt); }).join();
}

}  // namespace quorla::fakes

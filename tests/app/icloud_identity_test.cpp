#include "app/icloud_identity.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "fakes/fake_cloud_identity.hpp"
#include "fakes/fake_main_queue.hpp"
#include "fakes/fake_user_defaults.hpp"

namespace quorla::app {
namespace {

constexpr std::string_view key = "quorla.iCloudUserID";

struct Continuation {
    std::optional<platform::UserRecordID> recordID;
    std::optional<platform::CloudError> error;
    std::optional<std::string> storedAtTheTime;
    std::thread::id thread;
};

class ICloudIdentityTest : public ::testing::Test {
  protected:
    void fetch() {
        fetchICloudUserID(
            cloudIdentity, mainQueue, defaults, console, [this](auto recordID, auto error) {
                calls.push_back({std::move(recordID), std::move(error), defaults.stringForKey(key),
                                 std::this_thread::get_id()});
            });
    }

    fakes::FakeCloudIdentity cloudIdentity;
    fakes::FakeMainQueue mainQueue;
    fakes::FakeUserDefaults defaults;
    std::ostringstream console;
    std::vector<Continuation> calls;
};

TEST_F(ICloudIdentityTest, AFoundNameIsPrintedAndStoredBeforeTheContinuationRuns) {
    defaults.setString(key, "earlier");
    fetch();
    EXPECT_EQ(cloudIdentity.containerIdentifiers,
              std::vector<std::string>{std::string(cloudContainerIdentifier)});

    cloudIdentity.completeWithRecordName("abc");
    EXPECT_TRUE(calls.empty());
    mainQueue.drain();

    EXPECT_EQ(console.str(), "found userID: abc\n");
    EXPECT_EQ(defaults.stringForKey(key), "abc");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].storedAtTheTime, "abc");
    ASSERT_TRUE(calls[0].recordID);
    EXPECT_EQ(calls[0].recordID->recordName, "abc");
    EXPECT_FALSE(calls[0].error);
}

TEST_F(ICloudIdentityTest, AFailedLookupPrintsOnlyItsDescriptionAndKeepsTheEarlierName) {
    defaults.setString(key, "earlier");
    fetch();
    cloudIdentity.completeWithError("Couldn't get container configuration.");
    mainQueue.drain();

    EXPECT_EQ(console.str(), "Couldn't get container configuration.\n");
    EXPECT_EQ(defaults.stringForKey(key), "earlier");
    ASSERT_EQ(calls.size(), 1u);
    ASSERT_TRUE(calls[0].error);
    EXPECT_EQ(calls[0].error->localizedDescription, "Couldn't get container configuration.");
    EXPECT_FALSE(calls[0].recordID);
}

TEST_F(ICloudIdentityTest, ARecordThatComesWithAnErrorIsDroppedAndOnlyTheErrorCounts) {
    defaults.setString(key, "earlier");
    fetch();
    cloudIdentity.complete(platform::UserRecordID{"abc"},
                           platform::CloudError{"Couldn't get container configuration."});
    mainQueue.drain();

    EXPECT_EQ(console.str(), "Couldn't get container configuration.\n");
    EXPECT_EQ(defaults.stringForKey(key), "earlier");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_FALSE(calls[0].recordID);
    ASSERT_TRUE(calls[0].error);
    EXPECT_EQ(calls[0].error->localizedDescription, "Couldn't get container configuration.");
}

TEST_F(ICloudIdentityTest, AnEmptyNameOrNoAnswerAtAllPrintsAndStoresNothing) {
    const std::vector<std::optional<platform::UserRecordID>> answers{platform::UserRecordID{""},
                                                                     std::nullopt};
    for (const auto& answer : answers) {
        SCOPED_TRACE(answer ? "empty name" : "no record");
        calls.clear();
        defaults.setString(key, "earlier");
        fetch();
        cloudIdentity.complete(answer, std::nullopt);
        mainQueue.drain();

        EXPECT_EQ(console.str(), "");
        EXPECT_EQ(defaults.stringForKey(key), "earlier");
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].recordID.has_value(), answer.has_value());
        EXPECT_FALSE(calls[0].error);
    }
}

TEST_F(ICloudIdentityTest, ACompletionOnAnotherThreadIsCarriedOutOnTheMainQueue) {
    fetch();
    cloudIdentity.completeOnAnotherThread(platform::UserRecordID{"abc"}, std::nullopt);
    ASSERT_TRUE(mainQueue.waitForWork(std::chrono::seconds(5)));
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(console.str(), "");

    mainQueue.drain();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].thread, std::this_thread::get_id());
    EXPECT_EQ(console.str(), "found userID: abc\n");
}

}  // namespace
}  // namespace quorla::app

#include "app/icloud_identity.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "fakes/call_log.hpp"
#include "fakes/fake_cloud_identity.hpp"
#include "fakes/fake_main_queue.hpp"
#include "fakes/fake_user_defaults.hpp"

namespace quorla::app {
namespace {

using Log = std::vector<std::string>;

class ICloudIdentityTest : public ::testing::Test {
  protected:
    void SetUp() override { fakes::resetProcessWideFakes(); }

    // Starts a lookup whose continuation logs the name stored at the moment it runs.
    void fetch() {
        fetchICloudUserID(
            cloudIdentity, mainQueue, defaults, console, [this](auto recordID, auto error) {
                log.add("continuation " + (recordID ? recordID->recordName : "-") + " " +
                        (error ? error->localizedDescription : "-") + " stored " +
                        defaults.stringForKey("quorla.iCloudUserID").value_or("-"));
                thread = std::this_thread::get_id();
            });
    }

    fakes::FakeCloudIdentity cloudIdentity;
    fakes::FakeMainQueue mainQueue;
    fakes::FakeUserDefaults defaults;
    fakes::LoggedConsole console;
    fakes::CallLog& log = fakes::CallLog::shared();
    std::thread::id thread;
};

TEST_F(ICloudIdentityTest, OnTheMainQueueANonEmptyNameIsPrintedThenStoredThenContinuedWith) {
    const struct {
        const char* story;
        std::optional<platform::UserRecordID> recordID;
        std::optional<platform::CloudError> error;
        Log expected;
    } cases[] = {
        {"found",
         platform::UserRecordID{"abc"},
         std::nullopt,
         {"console found userID: abc", "defaults set quorla.iCloudUserID=abc",
          "continuation abc - stored abc"}},
        {"failed",
         std::nullopt,
         platform::CloudError{"No iCloud account."},
         {"console No iCloud account.", "continuation - No iCloud account. stored earlier"}},
        {"empty name",
         platform::UserRecordID{""},
         std::nullopt,
         {"continuation  - stored earlier"}},
        {"no record", std::nullopt, std::nullopt, {"continuation - - stored earlier"}},
    };
    for (const auto& example : cases) {
        SCOPED_TRACE(example.story);
        defaults.setString("quorla.iCloudUserID", "earlier");
        log.clear();
        fetch();
        cloudIdentity.complete(example.recordID, example.error);
        EXPECT_EQ(log.entries(), Log{"identity lookup iCloud.app.quorla.Quorla"});
        log.clear();
        mainQueue.drain();
        EXPECT_EQ(log.entries(), example.expected);
    }
}

TEST_F(ICloudIdentityTest, ACompletionOnAnotherThreadIsCarriedOutOnTheMainThread) {
    fetch();
    log.clear();
    cloudIdentity.completeOnAnotherThread(platform::UserRecordID{"abc"});
    EXPECT_EQ(log.entries(), Log{});
    EXPECT_EQ(mainQueue.drain(), 1);
    EXPECT_EQ(thread, std::this_thread::get_id());
    EXPECT_EQ(log.entries().front(), "console found userID: abc");
}

}  // namespace
}  // namespace quorla::app

#include "platform/linux/command_line_identity.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <optional>
#include <string>
#include <thread>

namespace quorla::platform::linux_ {
namespace {

struct Answer {
    std::optional<std::string> recordName;
    std::optional<std::string> error;
    std::thread::id thread;
};

TEST(CommandLineIdentityTest, AnswersOnceFromAnotherThreadWithTheGivenNameOrTheMissingAccount) {
    struct Case {
        std::optional<std::string> given;
        Answer expected;
    };
    const Case cases[] = {
        {"_0a1b2c", {"_0a1b2c", std::nullopt, {}}},
        {std::nullopt,
         {std::nullopt, "no iCloud account on this system; start with --record-name NAME", {}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.given.value_or("no name"));
        std::promise<Answer> answer;
        int calls = 0;
        {
            CommandLineIdentity identity(c.given);
            identity.fetchUserRecordID("iCloud.app.quorla.Quorla", [&](auto recordID, auto error) {
                ++calls;
                answer.set_value({recordID ? std::optional(recordID->recordName) : std::nullopt,
                                  error ? std::optional(error->localizedDescription) : std::nullopt,
                                  std::this_thread::get_id()});
            });
            auto future = answer.get_future();
            ASSERT_EQ(future.wait_for(std::chrono::seconds(5)), std::future_status::ready);
            const auto got = future.get();
            EXPECT_EQ(got.recordName, c.expected.recordName);
            EXPECT_EQ(got.error, c.expected.error);
            EXPECT_NE(got.thread, std::this_thread::get_id());
        }
        EXPECT_EQ(calls, 1);
    }
}

}  // namespace
}  // namespace quorla::platform::linux_

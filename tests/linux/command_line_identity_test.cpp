#include "platform/linux/command_line_identity.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <optional>
#include <string>
#include <thread>

namespace quorla::platform::linux_ {
namespace {

// The text of the answer (the record name or the error's description), and its thread.
using Answer = std::pair<std::string, std::thread::id>;

TEST(CommandLineIdentityTest, AnswersFromAnotherThreadWithTheGivenNameOrTheMissingAccount) {
    const std::pair<std::optional<std::string>, std::string> cases[] = {
        {"_0a1b2c", "_0a1b2c"},
        {std::nullopt, "no iCloud account on this system; start with --record-name NAME"},
    };
    for (const auto& [given, expected] : cases) {
        SCOPED_TRACE(expected);
        std::promise<Answer> answer;
        CommandLineIdentity identity(given);
        identity.fetchUserRecordID("iCloud.app.quorla.Quorla", [&](auto recordID, auto error) {
            EXPECT_NE(recordID.has_value(), error.has_value());
            answer.set_value({recordID ? recordID->recordName : error->localizedDescription,
                              std::this_thread::get_id()});
        });
        auto future = answer.get_future();
        ASSERT_EQ(future.wait_for(std::chrono::seconds(5)), std::future_status::ready);
        const auto [text, thread] = future.get();
        EXPECT_EQ(text, expected);
        EXPECT_NE(thread, std::this_thread::get_id());
    }
}

}  // namespace
}  // namespace quorla::platform::linux_

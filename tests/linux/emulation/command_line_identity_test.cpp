#include "platform/linux/emulation/command_line_identity.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>

namespace quorla::platform::linux_ {
namespace {

TEST(CommandLineIdentityTest, AnswersFromAnotherThreadWithTheGivenNameOrTheMissingAccount) {
    const std::pair<std::optional<std::string>, std::string> cases[] = {
        {"_0a1b2c", "_0a1b2c"},
        {std::nullopt, "no iCloud account on this system; start with --record-name NAME"},
    };
    for (const auto& [given, expected] : cases) {
        SCOPED_TRACE(expected);
        std::string answer;  // the record name or the error's description
        std::thread::id answeringThread;
        {
            CommandLineIdentity identity(given);
            identity.fetchUserRecordID("iCloud.app.quorla.Quorla", [&](auto recordID, auto error) {
                EXPECT_NE(recordID.has_value(), error.has_value());
                answer = recordID ? recordID->recordName : error->localizedDescription;
                answeringThread = std::this_thread::get_id();
            });
        }  // waits for the answer
        EXPECT_EQ(answer, expected);
        EXPECT_NE(answeringThread, std::this_thread::get_id());
    }
}

}  // namespace
}  // namespace quorla::platform::linux_

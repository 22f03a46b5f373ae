#include "platform/linux/emulation/command_line_identity.hpp"

#include <utility>

namespace quorla::platform::linux_ {

CommandLineIdentity::CommandLineIdentity(std::optional<std::string> recordName)
    : recordName_(std::move(recordName)) {}

CommandLineIdentity::~CommandLineIdentity() {
    if (answering_.joinable())
        answering_.join();
}

void CommandLineIdentity::fetchUserRecordID(std::string_view, Completion completion) {
    if (answering_.joinable())
        answering_.join();
    answering_ = std::thread([recordName = recordName_, completion = std::move(completion)] {
        if (recordName)
            completion(platform::UserRecordID{*recordName}, std::nullopt);
        else
            completion(std::nullopt, platform::CloudError{std::string(noAccountDescription)});
    });
}

}  // namespace quorla::platform::linux_

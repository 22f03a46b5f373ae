#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "platform/cloud_identity.hpp"

namespace quorla::platform::linux_ {

// Linux has no iCloud: the record name is whatever the user gave on the command line.
// The answer comes from a thread of its own, as CloudKit's does, so the core's hand-over
// to the main queue is exercised exactly as on a Mac.
class CommandLineIdentity final : public platform::CloudIdentity {
  public:
    static constexpr std::string_view noAccountDescription =
        "no iCloud account on this system; start with --record-name NAME";

    explicit CommandLineIdentity(std::optional<std::string> recordName);
    // Waits for the answering thread, so no completion outlives the identity.
    ~CommandLineIdentity() override;

    CommandLineIdentity(const CommandLineIdentity&) = delete;
    CommandLineIdentity& operator=(const CommandLineIdentity&) = delete;

    void fetchUserRecordID(std::string_view containerIdentifier, Completion completion) override;

  private:
    std::optional<std::string> recordName_;
    std::thread answering_;
};

}  // namespace quorla::platform::linux_

#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace quorla::testing {

class ChildProcess;

// A dbus-daemon of the test's own: no service activation, everything allowed, listening in
// a fresh directory. While it lives, DBUS_SYSTEM_BUS_ADDRESS points at it, so code that
// opens "the system bus" reaches this one; the real system bus is never touched.
class PrivateBus {
  public:
    PrivateBus();  // returns once the daemon has printed its address (deadline 10 s)
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    const std::string& address() const { return address_; }

  private:
    struct Directory {
        ~Directory();
        std::filesystem::path path;
    };

    Directory directory_;
    std::unique_ptr<ChildProcess> daemon_;
    std::string address_;
    std::optional<std::string> previousAddress_;
};

}  // namespace quorla::testing

#pragma once

#include <memory>
#include <optional>
#include <string>

namespace quorla::testing {

class ChildProcess;

// A dbus-daemon of the test's own: no service activation, everything allowed, listening on
// an abstract socket, so nothing is left on disk even when the test is killed. While it lives,
// DBUS_SYSTEM_BUS_ADDRESS points at it, so code that opens "the system bus" reaches this one; the
// real system bus is never touched.
class PrivateBus {
  public:
    PrivateBus();  // returns once the daemon has printed its address (deadline 10 s)
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    const std::string& address() const { return address_; }

  private:
    std::unique_ptr<ChildProcess> daemon_;
    std::string address_;
    std::optional<std::string> previousAddress_;
};

}  // namespace quorla::testing

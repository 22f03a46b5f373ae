#pragma once

#include <ostream>

#include "platform/notification_center.hpp"

namespace quorla::platform::linux_ {

// Writes each request the core carried out, with its message, to the trace, as the
// "request" notification announces it. Observes for as long as it lives.
class RequestTrace {
  public:
    RequestTrace(platform::NotificationCenter& center, std::ostream& trace);
    ~RequestTrace();

    RequestTrace(const RequestTrace&) = delete;
    RequestTrace& operator=(const RequestTrace&) = delete;

  private:
    platform::NotificationCenter& center_;
    platform::NotificationCenter::ObserverToken token_;
};

}  // namespace quorla::platform::linux_

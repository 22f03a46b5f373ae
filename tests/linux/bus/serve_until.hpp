#pragma once

#include <chrono>
#include <functional>

#include "platform/linux/bus/event_loop.hpp"

namespace quorla::platform::linux_ {

// Serves the loop until predicate holds; false once the deadline has passed. The loop
// sleeps as long as its own sources let it, so a timer that sd-event would fire late shows.
inline bool serveUntil(EventLoop& loop, const std::function<bool()>& predicate,
                       std::chrono::milliseconds deadline = std::chrono::seconds(5)) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!predicate()) {
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        sd_event_run(loop.event(), static_cast<std::uint64_t>(left.count()));
    }
    return true;
}

}  // namespace quorla::platform::linux_

#pragma once

#include <systemd/sd-event.h>

#include <cstddef>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>

#include "platform/linux/bus/sd_owners.hpp"

namespace quorla::platform::linux_ {

// Lines from a terminal or a pipe, read on the event loop, for the consoles of both
// programs. Longer lines than maxLineBytes are dropped whole, so garbage on the input never
// grows memory.
class LineReader {
  public:
    static constexpr std::size_t maxLineBytes = 1024;

    struct Handlers {
        std::function<void(std::string_view line)> line;
        std::function<void()> tooLong;
        // errorNumber: 0 at the end of the input, else why reading failed. Nothing is read
        // afterwards.
        std::function<void(int errorNumber)> ended;
    };

    // Watches fd only when it is a terminal or a pipe (isReading tells); anything else
    // (/dev/null under a service manager, a regular file) is left alone. A line whose
    // handler fails is logged on log and dropped; the next one is read (entry_guard.hpp).
    LineReader(sd_event* event, int fd, Handlers handlers, std::ostream& log = std::cerr);
    ~LineReader() { *isAlive_ = false; }
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    bool isReading() const { return source_ != nullptr; }

  private:
    static int onReadable(sd_event_source* source, int fd, std::uint32_t events, void* userdata);
    void read(int fd);
    void take(std::string_view bytes);
    void end(int errorNumber);
    // False when the handler destroyed this reader, which must then not be touched.
    template <typename Handler>
    bool deliver(Handler&& handler);

    Handlers handlers_;
    std::ostream& log_;
    EventSourceOwner source_;
    std::string pending_;
    // Inside a line that went over the limit: everything up to its end is dropped.
    bool isDiscardingLine_ = false;
    std::shared_ptr<bool> isAlive_ = std::make_shared<bool>(true);
};

}  // namespace quorla::platform::linux_

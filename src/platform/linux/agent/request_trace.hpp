#pragma once

#include <ostream>
#include <streambuf>
#include <string>

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

// The trace's stream buffer: each whole line goes out in one write(2), however many pieces it
// was written in, so that lines from the agent and the lab's readers never interleave mid-line
// and a line costs one system call. A line without its end waits for it (or for a flush).
class LineWriter final : public std::streambuf {
  public:
    explicit LineWriter(int fd) : fd_(fd) {}
    ~LineWriter() override { sync(); }
    LineWriter(const LineWriter&) = delete;
    LineWriter& operator=(const LineWriter&) = delete;

  protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;
    int sync() override;

  private:
    // Writes out what is pending up to its last end of line, or all of it.
    void writeOut(bool isAll);

    int fd_;
    std::string pending_;
};

}  // namespace quorla::platform::linux_

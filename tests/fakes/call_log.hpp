#pragma once

#include <algorithm>
#include <iterator>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

namespace quorla::fakes {

// One ordered record shared by every fake, so a test can check the order of calls
// across platform services ("script ran, then announcement, then answer"). Fakes write
// here and nowhere else.
class CallLog {
  public:
    static CallLog& shared() {
        static auto* log = new CallLog;
        return *log;
    }

    void add(std::string entry) { entries_.push_back(std::move(entry)); }
    const std::vector<std::string>& entries() const { return entries_; }
    // The entries that begin with prefix, in order.
    std::vector<std::string> startingWith(const std::string& prefix) const {
        std::vector<std::string> found;
        std::copy_if(entries_.begin(), entries_.end(), std::back_inserter(found),
                     [&](const auto& entry) { return entry.starts_with(prefix); });
        return found;
    }
    void clear() { entries_.clear(); }

  private:
    std::vector<std::string> entries_;
};

// A console whose every finished line goes to the call log as "console <line>".
class LoggedConsole : public std::ostream {
  public:
    LoggedConsole() : std::ostream(&buffer_) {}

  private:
    // Unbuffered, so every character comes through overflow.
    struct Buffer : std::streambuf {
        int_type overflow(int_type c) override {
            if (c == '\n') {
                CallLog::shared().add("console " + line);
                line.clear();
            } else if (c != traits_type::eof()) {
                line += static_cast<char>(c);
            }
            return c;
        }
        std::string line;
    };
    Buffer buffer_;
};

// Every process-wide fake as a fresh process has it: the log, the scripting engine and
// its client, the defaults and the preferred languages. Call at the start of each test.
void resetProcessWideFakes();

}  // namespace quorla::fakes

#pragma once

#include <string>
#include <vector>

namespace quorla::fakes {

// One ordered record shared by every fake, so a test can check the order of calls
// across platform services ("script ran, then announcement, then answer").
class CallLog {
  public:
    static CallLog& shared();

    void add(std::string entry) { entries_.push_back(std::move(entry)); }
    const std::vector<std::string>& entries() const { return entries_; }
    void clear() { entries_.clear(); }

  private:
    std::vector<std::string> entries_;
};

}  // namespace quorla::fakes

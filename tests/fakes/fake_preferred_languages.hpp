#pragma once

#include <string>
#include <vector>

namespace quorla::fakes {

// What preferredLanguages() answers in tests, and how often it was asked.
struct FakePreferredLanguages {
    static FakePreferredLanguages& shared() {
        static auto* languages = new FakePreferredLanguages;
        return *languages;
    }

    std::vector<std::string> tags;
    int readCount = 0;
};

}  // namespace quorla::fakes

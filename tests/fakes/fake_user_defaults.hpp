#pragma once

#include <map>
#include <string>

#include "platform/user_defaults.hpp"

namespace quorla::fakes {

class FakeUserDefaults final : public platform::UserDefaults {
  public:
    // The instance standardUserDefaults() returns in tests.
    static FakeUserDefaults& shared();

    std::optional<std::string> stringForKey(std::string_view key) const override;
    void setString(std::string_view key, std::string value) override;

    // Stores something other than text, which stringForKey must not hand out.
    void setNonString(std::string_view key);
    void clear() { values_.clear(); }

  private:
    std::map<std::string, std::optional<std::string>, std::less<>> values_;
};

}  // namespace quorla::fakes

#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorla::platform {

class UserDefaults {
  public:
    virtual ~UserDefaults() = default;

    // Absent when the key is missing or holds something other than text.
    virtual std::optional<std::string> stringForKey(std::string_view key) const = 0;
    // False when the key is missing or holds something other than a Boolean.
    virtual bool boolForKey(std::string_view key) const = 0;
    // Durable once it returns.
    virtual void setString(std::string_view key, std::string value) = 0;
};

// The process's standard defaults, defined by the platform adapter linked in.
UserDefaults& standardUserDefaults();

}  // namespace quorla::platform

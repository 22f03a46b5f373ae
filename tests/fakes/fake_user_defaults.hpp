#pragma once

#include <map>
#include <string>

#include "fakes/call_log.hpp"
#include "platform/user_defaults.hpp"

namespace quorla::fakes {

// Defaults in memory. Records "defaults set <key>=<value>" in the call log.
class FakeUserDefaults final : public platform::UserDefaults {
  public:
    // The instance standardUserDefaults() returns in tests.
    static FakeUserDefaults& shared() {
        static auto* defaults = new FakeUserDefaults;
        return *defaults;
    }

    std::optional<std::string> stringForKey(std::string_view key) const override {
        const auto found = values_.find(key);
        return found == values_.end() ? std::nullopt : found->second;
    }
    void setString(std::string_view key, std::string value) override {
        CallLog::shared().add("defaults set " + std::string(key) + "=" + value);
        values_.insert_or_assign(std::string(key), std::move(value));
    }
    bool boolForKey(std::string_view key) const override {
        const auto found = bools_.find(key);
        return found != bools_.end() && found->second;
    }
    void setBool(std::string_view key, bool value) {
        bools_.insert_or_assign(std::string(key), value);
    }
    // Stores something other than text, which stringForKey must not hand out.
    void setNonString(std::string_view key) {
        values_.insert_or_assign(std::string(key), std::nullopt);
    }

  private:
    std::map<std::string, std::optional<std::string>, std::less<>> values_;
    std::map<std::string, bool, std::less<>> bools_;
};

}  // namespace quorla::fakes

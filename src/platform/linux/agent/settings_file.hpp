#pragma once

#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "platform/user_defaults.hpp"

namespace quorla::platform::linux_ {

// The user defaults of the agent: one JSON object in a file. Every write replaces the whole
// file atomically, so a crash mid-write leaves either the old or the new file, never a torn
// one. Problems (a file that is not a JSON object, a folder that cannot be written) are
// reported on errors and never end the agent: values stay in memory for this launch.
class SettingsFile final : public platform::UserDefaults {
  public:
    // Reads path at once. A file that cannot be parsed is renamed aside, so that nothing a
    // person may still want is overwritten by the next write.
    SettingsFile(std::filesystem::path path, std::ostream& errors);

    // $XDG_CONFIG_HOME/quorla/settings.json when that is an absolute path, otherwise
    // ~/.config/quorla/settings.json.
    static std::filesystem::path defaultPath();

    std::optional<std::string> stringForKey(std::string_view key) const override;
    void setString(std::string_view key, std::string value) override;
    bool boolForKey(std::string_view key) const override;
    void setBool(std::string_view key, bool value);

  private:
    void load();
    void moveAside(const std::string& reason);
    void save();

    std::filesystem::path path_;
    std::ostream& errors_;
    nlohmann::json values_ = nlohmann::json::object();
    // Set when the file exists but could be neither read nor moved aside: writing would
    // replace whatever it holds.
    bool isWriteBlocked_ = false;
};

}  // namespace quorla::platform::linux_

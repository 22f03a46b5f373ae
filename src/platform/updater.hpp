#pragma once

#include <optional>
#include <string>

namespace quorla::platform {

// The update framework's checker for the running application. No outcome of a check
// comes back: the framework talks to the user itself.
class Updater {
  public:
    virtual ~Updater() = default;

    // None leaves the framework to its own feed, if it has one.
    virtual void setFeedURL(std::optional<std::string> url) = 0;
    // Returns at once; the check goes on in the background.
    virtual void checkForUpdatesInBackground() = 0;
    // A check the user asked for.
    virtual void checkForUpdates() = 0;
};

}  // namespace quorla::platform

#pragma once

#include <any>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace quorla::platform {

struct Notification {
    std::string name;
    std::map<std::string, std::any> userInfo;
};

// An in-process notification center. Delivery is synchronous, on the posting thread,
// during the post. Not thread-safe: like everything else it is used on the main thread.
class NotificationCenter {
  public:
    using Observer = std::function<void(const Notification&)>;
    using ObserverToken = std::uint64_t;

    // The process's default center; lives until the process ends.
    static NotificationCenter& defaultCenter();

    ObserverToken addObserver(std::string name, Observer observer);
    void removeObserver(ObserverToken token);
    void post(Notification notification);

  private:
    struct Registration {
        ObserverToken token;
        std::string name;
        Observer observer;
    };

    bool isRegistered(ObserverToken token) const;

    std::vector<Registration> registrations_;
    ObserverToken nextToken_ = 1;
};

}  // namespace quorla::platform

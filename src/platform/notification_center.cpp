#include "platform/notification_center.hpp"

#include <algorithm>

namespace quorla::platform {

NotificationCenter& NotificationCenter::defaultCenter() {
    static auto* center = new NotificationCenter;  // never destroyed: observers may outlive statics
    return *center;
}

NotificationCenter::ObserverToken NotificationCenter::addObserver(std::string name,
                                                                  Observer observer) {
    const auto token = nextToken_++;
    registrations_.push_back({token, std::move(name), std::move(observer)});
    return token;
}

void NotificationCenter::removeObserver(ObserverToken token) {
    std::erase_if(registrations_, [token](const auto& r) { return r.token == token; });
}

bool NotificationCenter::isRegistered(ObserverToken token) const {
    return std::any_of(registrations_.begin(), registrations_.end(),
                       [token](const auto& r) { return r.token == token; });
}

void NotificationCenter::post(Notification notification) {
    // Observers may add or remove observers while being notified: deliver to those
    // registered when the post began and still registered when their turn comes.
    const auto snapshot = registrations_;
    for (const auto& registration : snapshot) {
        if (registration.name == notification.name && isRegistered(registration.token)) {
            registration.observer(notification);
        }
    }
}

}  // namespace quorla::platform

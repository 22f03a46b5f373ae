#include "platform/notification_center.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorla::platform {
namespace {

TEST(NotificationCenter, DeliversDuringThePostToThoseRegisteredThenAndStillRegistered) {
    NotificationCenter center;
    std::vector<std::string> heard;
    const auto hear = [&](std::string what) {
        return [&, what](const Notification&) { heard.push_back(what); };
    };
    NotificationCenter::ObserverToken second = 0;
    const auto first = center.addObserver("request", [&](const Notification& n) {
        heard.push_back("first " + std::any_cast<std::string>(n.userInfo.at("message")));
        center.removeObserver(second);
        center.addObserver("request", hear("late"));
    });
    second = center.addObserver("request", hear("second"));
    center.addObserver("request", hear("third"));
    center.post({"request", {{"message", std::string("mute")}}});
    center.post({"other", {}});
    center.removeObserver(first);
    center.post({"request", {}});
    EXPECT_EQ(heard, (std::vector<std::string>{"first mute", "third", "third", "late"}));
}

}  // namespace
}  // namespace quorla::platform

#include "platform/notification_center.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorla::platform {
namespace {

using ::testing::ElementsAre;

TEST(NotificationCenter, DeliversDuringThePostToThoseRegisteredThenAndStillRegistered) {
    NotificationCenter center;
    std::vector<std::string> heard;
    NotificationCenter::ObserverToken second = 0;
    const auto first = center.addObserver("request", [&](const Notification& n) {
        heard.push_back("first " + std::any_cast<std::string>(n.userInfo.at("message")));
        center.removeObserver(second);
        center.addObserver("request", [&](const Notification&) { heard.push_back("late"); });
    });
    center.addObserver("other", [&](const Notification&) { heard.push_back("other"); });
    second = center.addObserver("request", [&](const Notification&) { heard.push_back("second"); });
    center.addObserver("request", [&](const Notification&) { heard.push_back("third"); });

    center.post({"request", {{"message", std::string("mute")}}});
    EXPECT_THAT(heard, ElementsAre("first mute", "third"));
    center.removeObserver(first);
    center.post({"request", {}});
    EXPECT_THAT(heard, ElementsAre("first mute", "third", "third", "late"));
}

}  // namespace
}  // namespace quorla::platform

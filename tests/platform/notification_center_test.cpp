#include "platform/notification_center.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorla::platform {
namespace {

using ::testing::ElementsAre;

TEST(NotificationCenter, DeliversDuringThePostToObserversOfThatNameOnly) {
    NotificationCenter center;
    std::vector<std::string> heard;
    center.addObserver("request", [&](const Notification& n) {
        heard.push_back("a:" + std::any_cast<std::string>(n.userInfo.at("message")));
    });
    center.addObserver("other", [&](const Notification&) { heard.push_back("other"); });
    center.addObserver("request", [&](const Notification&) { heard.push_back("b"); });

    center.post({"request", {{"message", std::string("mute")}}});
    EXPECT_THAT(heard, ElementsAre("a:mute", "b"));
}

TEST(NotificationCenter, RemovedObserversHearNothingEvenWhenRemovedDuringAPost) {
    NotificationCenter center;
    std::vector<std::string> heard;
    NotificationCenter::ObserverToken second = 0;
    const auto first = center.addObserver("request", [&](const Notification&) {
        heard.push_back("first");
        center.removeObserver(second);
        center.addObserver("request", [&](const Notification&) { heard.push_back("late"); });
    });
    second = center.addObserver("request", [&](const Notification&) { heard.push_back("second"); });

    center.post({"request", {}});
    EXPECT_THAT(heard, ElementsAre("first"));
    center.removeObserver(first);
    center.post({"request", {}});
    EXPECT_THAT(heard, ElementsAre("first", "late"));
}

TEST(NotificationCenter, TheDefaultCenterIsOneForTheProcess) {
    EXPECT_EQ(&NotificationCenter::defaultCenter(), &NotificationCenter::defaultCenter());
}

}  // namespace
}  // namespace quorla::platform

#include <gtest/gtest.h>

#include "app/app_fixture.hpp"

namespace quorla::app {
namespace {

TEST_F(AppTest, EachMenuCommandReachesItsHandler) {
    launch();
    log.clear();
    statusBar.simulateMenuSelection("Check for Updates\xE2\x80\xA6");
    EXPECT_EQ(log.entries(), Log{"updater user check"});
    statusBar.simulateMenuSelection("Quit Quorla");
    EXPECT_EQ(log.entries().back(), idleIcon);
    EXPECT_EQ(log.startingWith("application"), Log{"application terminate"});
}

TEST_F(AppTest, WithoutAnUpdaterOrAButtonTheRestStillWorks) {
    updates.isAvailable = false;
    statusBar.itemsHaveButton = false;
    startPollingClient();
    EXPECT_EQ(log.startingWith("updater"), Log{});
    EXPECT_EQ(log.startingWith("icon"), Log{});
    statusBar.simulateMenuSelection("Check for Updates\xE2\x80\xA6");

    pollMeetingWithCentral({});
    EXPECT_EQ(sentValues(), Values{idleValue | connectedBit});
    EXPECT_EQ(log.startingWith("icon"), Log{});
}

}  // namespace
}  // namespace quorla::app

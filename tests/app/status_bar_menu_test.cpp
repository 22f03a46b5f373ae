#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/app_fixture.hpp"

namespace quorla::app {
namespace {

TEST_F(AppTest, TheMenuHoldsTwoCommandsAroundOneSeparatorAndEachReachesItsHandler) {
    launch();
    ASSERT_TRUE(statusBar.menu);
    const auto& items = statusBar.menu->items;
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].title, "Check for Updates\xE2\x80\xA6");
    EXPECT_FALSE(items[0].isSeparator);
    EXPECT_TRUE(items[1].isSeparator);
    EXPECT_EQ(items[2].title, "Quit Quorla");
    EXPECT_EQ(statusBar.images, std::vector<std::string>{idleIcon});

    statusBar.simulateMenuSelection("Check for Updates\xE2\x80\xA6");
    EXPECT_EQ(updates.calls.back(), "updater user check");
    EXPECT_EQ(application.terminateCount, 0);
    statusBar.simulateMenuSelection("Quit Quorla");
    EXPECT_EQ(application.terminateCount, 1);
}

TEST_F(AppTest, WithoutAnUpdaterNoCheckIsMadeAndTheCommandDoesNothing) {
    updates.isAvailable = false;
    launch();
    statusBar.simulateMenuSelection("Check for Updates\xE2\x80\xA6");
    EXPECT_EQ(updates.calls, std::vector<std::string>{});
    EXPECT_EQ(cloudIdentity.containerIdentifiers.size(), 1u) << "launch went on";
}

TEST_F(AppTest, AnItemWithoutAButtonStillGetsItsMenuAndPollingGoesOn) {
    statusBar.itemsHaveButton = false;
    startPollingClient();
    pollMeetingWithCentral({});

    EXPECT_TRUE(statusBar.menu);
    EXPECT_EQ(statusBar.images, std::vector<std::string>{});
    EXPECT_EQ(sentValues(), std::vector<std::uint8_t>{idleValue | connectedBit});
}

}  // namespace
}  // namespace quorla::app

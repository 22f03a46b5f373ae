#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/app_fixture.hpp"

namespace quorla::app {
namespace {

TEST_F(AppTest, LaunchRunsInOrderAndBluetoothAndPollingWaitForTheIdentity) {
    clientAlreadyRunning();
    // Whether a request reaches the delegate at the moment the lookup starts.
    cloudIdentity.onFetch = [this] {
        postRequest();
        log.add("requests queued " + std::to_string(mainQueue.pendingWork()));
    };

    launch();

    EXPECT_EQ(
        log.entries(),
        (Log{"status item", idleIcon, "menu Check for Updates\xE2\x80\xA6 - Quit Quorla",
             "updater created", "updater feed https://updates.quorla.app/quorla_appcast.xml",
             "updater background check", "identity lookup iCloud.app.quorla.Quorla",
             "requests queued 0", "workspace observe NSWorkspaceDidLaunchApplicationNotification",
             "workspace observe NSWorkspaceDidTerminateApplicationNotification"}));

    log.clear();
    mainQueue.advance(platform::Seconds{30.0});
    EXPECT_EQ(log.entries(), Log{});

    cloudIdentity.complete(platform::UserRecordID{"abc"});
    EXPECT_EQ(log.entries(), Log{}) << "the continuation belongs on the main queue";
    mainQueue.drain();
    EXPECT_EQ(log.entries(),
              (Log{"console found userID: abc", "defaults set quorla.iCloudUserID=abc",
                   "peripheral manager created", "workspace scan", idleIcon, "timer every 3s"}));
}

TEST_F(AppTest, AFailedLookupStartsBluetoothUnderTheEarlierNameAndPolls) {
    fakes::FakeUserDefaults::shared().setString("quorla.iCloudUserID", "abc");
    clientAlreadyRunning();
    launch();
    cloudIdentity.complete(std::nullopt, platform::CloudError{"No iCloud account."});
    mainQueue.drain();

    EXPECT_EQ(mainQueue.activeTimers(), 1u);
    ASSERT_NE(peripheral, nullptr);
    peripheral->simulateState(platform::ManagerState::poweredOn);
    EXPECT_EQ(log.startingWith("advertise"), Log{"advertise B59E243A-CDC0-590E-813E-91A84F9E841C"});
}

TEST_F(AppTest, QuitClearsTheConnectedFlagForTheCompanionAndTeardownFollowsOnceReleased) {
    startPollingClient();
    pollMeetingWithCentral({.isMicOn = true});
    ASSERT_EQ(sentValues(), (Values{idleValue | connectedBit | micBit}));
    log.clear();

    // Only the timer's block keeps the delegate now.
    std::weak_ptr<AppDelegate> weakDelegate = delegate;
    delegate.reset();
    statusBar.simulateMenuSelection("Quit Quorla");

    EXPECT_TRUE(weakDelegate.expired()) << "the stopped timer was the last owner";
    // One value from termination, one from teardown; the microphone as last polled.
    EXPECT_EQ(log.entries(), (Log{"application terminate", "timer invalidated", "update E2",
                                  idleIcon, "update E2", idleIcon}));
    EXPECT_EQ(mainQueue.activeTimers(), 0u);
    EXPECT_EQ(workspace.observerCount(), 0u);
    postRequest();
    EXPECT_EQ(mainQueue.pendingWork(), 0u);
}

TEST_F(AppTest, ThePendingLookupKeepsTheDelegateUntilItsContinuationHasRun) {
    launch();
    std::weak_ptr<AppDelegate> weakDelegate = delegate;
    delegate.reset();
    ASSERT_FALSE(weakDelegate.expired());

    completeIdentity();

    EXPECT_NE(peripheral, nullptr);
    EXPECT_TRUE(weakDelegate.expired());
    EXPECT_EQ(workspace.observerCount(), 0u);
}

}  // namespace
}  // namespace quorla::app

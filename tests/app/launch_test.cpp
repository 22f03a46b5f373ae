#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/app_fixture.hpp"

namespace quorla::app {
namespace {

TEST_F(AppTest, LaunchRunsInOrderAndBluetoothAndPollingWaitForTheIdentity) {
    clientAlreadyRunning();
    launch();
    EXPECT_EQ(log.entries(),
              (Log{"status item", idleIcon, "menu Check for Updates\xE2\x80\xA6 - Quit Quorla",
                   "updater created", "updater feed https://updates.quorla.app/quorla_appcast.xml",
                   "updater background check", "identity lookup iCloud.app.quorla.Quorla",
                   "workspace observe NSWorkspaceDidLaunchApplicationNotification",
                   "workspace observe NSWorkspaceDidTerminateApplicationNotification"}));

    log.clear();
    mainQueue.advance(platform::Seconds{30.0});
    cloudIdentity.complete(platform::UserRecordID{"abc"});
    EXPECT_EQ(log.entries(), Log{}) << "the continuation belongs on the main queue";
    mainQueue.drain();
    EXPECT_EQ(log.entries(),
              (Log{"console found userID: abc", "defaults set quorla.iCloudUserID=abc",
                   "peripheral manager created", "workspace scan", idleIcon, "timer every 3s"}));
}

struct Lookup {
    std::optional<platform::UserRecordID> recordID;
    std::optional<platform::CloudError> error;
    Log console;
};

class LookupWithoutANewName : public AppTest, public testing::WithParamInterface<Lookup> {};

TEST_P(LookupWithoutANewName, StartsBluetoothUnderTheEarlierNameAndPolls) {
    fakes::FakeUserDefaults::shared().setString("quorla.iCloudUserID", "abc");
    clientAlreadyRunning();
    launch();
    log.clear();
    cloudIdentity.complete(GetParam().recordID, GetParam().error);
    mainQueue.drain();
    EXPECT_EQ(log.startingWith("console"), GetParam().console);
    EXPECT_EQ(log.startingWith("defaults"), Log{});
    EXPECT_EQ(mainQueue.activeTimers(), 1u);
    peripheral->simulateState(platform::ManagerState::poweredOn);
    EXPECT_EQ(log.startingWith("advertise"), Log{"advertise B59E243A-CDC0-590E-813E-91A84F9E841C"});
}

INSTANTIATE_TEST_SUITE_P(FailedEmptyOrNone, LookupWithoutANewName,
                         testing::Values(Lookup{std::nullopt,
                                                platform::CloudError{"No iCloud account."},
                                                {"console No iCloud account."}},
                                         Lookup{platform::UserRecordID{""}, std::nullopt, {}},
                                         Lookup{std::nullopt, std::nullopt, {}}));

TEST_F(AppTest, EachMenuCommandReachesItsHandlerAndQuitTearsDownOnceReleased) {
    startPollingClient();
    pollMeetingWithCentral({.isMicOn = true});
    log.clear();
    statusBar.simulateMenuSelection("Check for Updates\xE2\x80\xA6");
    EXPECT_EQ(log.entries(), Log{"updater user check"});

    // Only the timer's block keeps the delegate now.
    std::weak_ptr<AppDelegate> weakDelegate = delegate;
    delegate.reset();
    log.clear();
    statusBar.simulateMenuSelection("Quit Quorla");
    EXPECT_TRUE(weakDelegate.expired()) << "the stopped timer was the last owner";
    // One value from termination, one from teardown; the microphone as last polled.
    EXPECT_EQ(log.entries(), (Log{"application terminate", "timer invalidated", "update E2",
                                  idleIcon, "update E2", idleIcon}));
    EXPECT_EQ(workspace.observerCount, 0);
    postRequest();
    EXPECT_EQ(mainQueue.pendingWork(), 0u);
}

TEST_F(AppTest, ThePendingLookupKeepsTheDelegateUntilItsContinuationHasRun) {
    launch();
    std::weak_ptr<AppDelegate> weakDelegate = delegate;
    delegate.reset();
    completeIdentity();
    EXPECT_NE(peripheral, nullptr);
    EXPECT_TRUE(weakDelegate.expired());
    EXPECT_EQ(workspace.observerCount, 0);
}

TEST_F(AppTest, WithoutAnUpdaterOrAButtonTheRestStillWorks) {
    updates.isAvailable = false;
    statusBar.itemsHaveButton = false;
    startPollingClient();
    statusBar.simulateMenuSelection("Check for Updates\xE2\x80\xA6");
    pollMeetingWithCentral({});
    EXPECT_EQ(log.startingWith("update"), Log{"update E8"});
    EXPECT_EQ(log.startingWith("updater"), Log{});
    EXPECT_EQ(log.startingWith("icon"), Log{});
}

}  // namespace
}  // namespace quorla::app

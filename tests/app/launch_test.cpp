#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/app_fixture.hpp"
#include "bluetooth/identifiers.hpp"

namespace quorla::app {
namespace {

using Log = std::vector<std::string>;

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
        (Log{"status item", "icon " + idleIcon, "menu Check for Updates\xE2\x80\xA6 - Quit Quorla",
             "updater created", "updater feed https://updates.quorla.app/quorla_appcast.xml",
             "updater background check", "identity lookup iCloud.app.quorla.Quorla",
             "requests queued 0", "workspace observe NSWorkspaceDidLaunchApplicationNotification",
             "workspace observe NSWorkspaceDidTerminateApplicationNotification"}));

    log.clear();
    mainQueue.advance(platform::Seconds{30.0});
    EXPECT_EQ(peripheral, nullptr);
    EXPECT_EQ(mainQueue.activeTimers(), 0u);
    EXPECT_EQ(log.entries(), Log{});

    cloudIdentity.completeWithRecordName("abc");
    EXPECT_EQ(log.entries(), Log{}) << "the continuation belongs on the main queue";
    mainQueue.drain();
    EXPECT_EQ(log.entries(),
              (Log{"defaults set quorla.iCloudUserID=abc", "peripheral manager created",
                   "workspace scan", "icon " + idleIcon, "timer every 3s"}));
    EXPECT_EQ(console.str(), "found userID: abc\n");
}

TEST_F(AppTest, AFailedLookupStartsBluetoothUnderTheEarlierNameAndPolls) {
    fakes::FakeUserDefaults::shared().setString(bluetooth::iCloudUserIDDefaultsKey, "earlier");
    clientAlreadyRunning();
    launch();

    cloudIdentity.completeWithError("No iCloud account.");
    mainQueue.drain();

    EXPECT_EQ(console.str(), "No iCloud account.\n");
    ASSERT_NE(peripheral, nullptr);
    EXPECT_EQ(mainQueue.activeTimers(), 1u);
    peripheral->simulateState(platform::ManagerState::poweredOn);
    ASSERT_EQ(peripheral->addedServices.size(), 1u);
    EXPECT_EQ(peripheral->addedServices[0].type,
              bluetooth::nameBasedUUID("earlier", bluetooth::serviceNamespaceUUID()));
}

TEST_F(AppTest, QuitClearsTheConnectedFlagForTheCompanionAndTeardownFollowsOnceReleased) {
    startPollingClient();
    pollMeetingWithCentral({.isMicOn = true});
    ASSERT_EQ(sentValues(), (std::vector<std::uint8_t>{idleValue | connectedBit | micBit}));
    forgetSent();

    // Only the timer's block keeps the delegate now.
    std::weak_ptr<AppDelegate> weakDelegate = delegate;
    delegate.reset();
    ASSERT_FALSE(weakDelegate.expired());

    statusBar.simulateMenuSelection("Quit Quorla");

    EXPECT_EQ(application.terminateCount, 1);
    EXPECT_EQ(mainQueue.activeTimers(), 0u);
    EXPECT_TRUE(weakDelegate.expired()) << "the stopped timer was the last owner";
    // One value from termination, one from teardown; the microphone as last polled.
    EXPECT_EQ(sentValues(), (std::vector<std::uint8_t>{idleValue | micBit, idleValue | micBit}));
    EXPECT_EQ(statusBar.images.back(), idleIcon);
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

#include <gtest/gtest.h>

#include <any>
#include <optional>
#include <string>
#include <vector>

#include "app/app_fixture.hpp"

namespace quorla::app {
namespace {

using Values = std::vector<std::uint8_t>;

TEST_F(AppTest, OnlyAnApplicationNamedExactlyLikeTheClientCounts) {
    launch();
    completeIdentity();
    const std::vector<std::optional<std::string>> others{
        "Zoom.us", "ZOOM.US", "zoom.us ", " zoom.us", "zoom", "zoom.us.app", "", std::nullopt};
    for (const auto& name : others)
        workspace.simulateLaunch(name);
    EXPECT_FALSE(delegate->isClientRunning());
    EXPECT_EQ(mainQueue.activeTimers(), 0u);

    // Malformed launch notifications are ignored as well.
    using platform::workspaceApplicationKey;
    const auto& launched = platform::workspaceDidLaunchApplicationNotification;
    workspace.post({launched, {}});
    workspace.post({launched, {{workspaceApplicationKey, std::string(clientName)}}});
    workspace.post({launched, {{"another key", platform::RunningApplication{9, "zoom.us"}}}});
    EXPECT_EQ(mainQueue.activeTimers(), 0u);

    workspace.simulateLaunch("zoom.us");
    EXPECT_TRUE(delegate->isClientRunning());
    EXPECT_EQ(mainQueue.activeTimers(), 1u);

    // Another application quitting leaves polling alone.
    const auto other = workspace.running.front();
    workspace.simulateTerminate(other);
    EXPECT_EQ(mainQueue.activeTimers(), 1u);
}

TEST_F(AppTest, PollingGoesOnUntilTheLastInstanceOfTheClientQuits) {
    launch();
    completeIdentity();
    connectCentral();
    client.showMeeting({.isMicOn = true});
    const auto first = workspace.simulateLaunch("zoom.us");
    const auto second = workspace.simulateLaunch("zoom.us");
    EXPECT_EQ(mainQueue.activeTimers(), 1u) << "a second launch restarts polling";
    mainQueue.advance(pollInterval);
    forgetSent();

    // The first instance is still listed while its termination is delivered.
    workspace.simulateTerminate(first);
    EXPECT_EQ(mainQueue.activeTimers(), 1u);
    EXPECT_EQ(sentValues(), Values{});
    client.showMeeting({.isMicOn = false});
    mainQueue.advance(pollInterval);
    EXPECT_EQ(sentValues(), Values{idleValue | connectedBit}) << "the meeting is still heard";

    forgetSent();
    client.quit();
    workspace.simulateTerminate(second);
    EXPECT_EQ(mainQueue.activeTimers(), 0u);
    EXPECT_EQ(sentValues(), Values{idleValue});
}

TEST_F(AppTest, TheClientLaunchingDuringTheLookupStartsPollingAtOnceAndAgainAfterIt) {
    launch();
    log.clear();

    workspace.simulateLaunch("zoom.us");
    EXPECT_EQ(mainQueue.activeTimers(), 1u);
    mainQueue.advance(platform::Seconds{1.0});

    completeIdentity();
    EXPECT_EQ(mainQueue.activeTimers(), 1u);
    EXPECT_EQ(log.entries(),
              (std::vector<std::string>{
                  "icon " + idleIcon, "timer every 3s", "defaults set quorla.iCloudUserID=abc",
                  "peripheral manager created", "workspace scan", "timer invalidated",
                  "icon " + idleIcon, "timer every 3s"}));

    // The restarted timer counts from the restart, not from the launch.
    const auto probes = fakes::FakeScriptingEngine::shared().executedEvents.size();
    mainQueue.advance(platform::Seconds{2.5});
    EXPECT_EQ(fakes::FakeScriptingEngine::shared().executedEvents.size(), probes);
    mainQueue.advance(platform::Seconds{0.5});
    EXPECT_EQ(fakes::FakeScriptingEngine::shared().executedEvents.size(), probes + 1);
}

TEST_F(AppTest, TheClientQuittingDuringTheLookupLeavesPollingOff) {
    const auto zoom = clientAlreadyRunning();
    launch();
    client.quit();
    workspace.simulateTerminate(zoom);
    EXPECT_EQ(statusBar.images.back(), idleIcon);

    completeIdentity();
    EXPECT_EQ(mainQueue.activeTimers(), 0u);
}

}  // namespace
}  // namespace quorla::app

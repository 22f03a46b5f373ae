#include "platform/linux/emulation/emulated_client.hpp"

#include <gtest/gtest.h>

#include <any>
#include <set>
#include <sstream>
#include <stdexcept>

namespace quorla::platform::linux_ {
namespace {

// What a toggle script does to the client is tested where the companion sees it: the
// status in a meeting (the lab's check in a meeting, the poll's tests).

// The user's own actions: each that the state allows writes one trace line, and launch and
// quit reach workspace observers, a new process each launch; the others change nothing.
TEST(EmulatedClient, TakesTheActionsItsStateAllowsAndAnnouncesLaunchAndQuit) {
    std::ostringstream trace;
    EmulatedClient client({.isRunning = false}, trace);
    std::vector<std::string> heard;
    std::set<std::int64_t> processes;
    const auto listen = [&](const Notification& n) {
        const auto app = std::any_cast<RunningApplication>(n.userInfo.at(workspaceApplicationKey));
        heard.push_back(n.name + " " + app.localizedName.value_or("?"));
        processes.insert(app.processIdentifier);
    };
    const auto launched = client.addObserver(workspaceDidLaunchApplicationNotification, listen);
    client.addObserver(workspaceDidTerminateApplicationNotification, listen);
    // The refusals the console meets (mic, leave, launch out of turn, a language it lacks) are
    // its test.
    EXPECT_TRUE(!client.joinMeeting() && client.launch() && !client.launch());
    ASSERT_EQ(client.runningApplications().size(), 1u);
    EXPECT_EQ(processes, std::set{client.runningApplications()[0].processIdentifier});
    EXPECT_TRUE(client.joinMeeting() && !client.joinMeeting() && client.toggleHand());
    EXPECT_TRUE(client.quit() && !client.quit() && client.runningApplications().empty());
    EXPECT_FALSE(client.state().isInMeeting || client.state().isHandRaised);
    client.launch();
    client.removeObserver(launched);
    client.quit();
    client.launch();
    const auto launch = workspaceDidLaunchApplicationNotification + " zoom.us";
    const auto quit = workspaceDidTerminateApplicationNotification + " zoom.us";
    EXPECT_EQ(heard, (std::vector{launch, quit, launch, quit}));
    EXPECT_EQ(processes.size(), 2u) << "each launch is a process of its own";
    const auto lines = trace.str();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 7);
    EXPECT_THROW(EmulatedClient({.language = "english"}, trace), std::invalid_argument);
}

}  // namespace
}  // namespace quorla::platform::linux_

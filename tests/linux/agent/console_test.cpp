#include "platform/linux/agent/console.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include "fakes/call_log.hpp"
#include "fakes/fake_app_services.hpp"
#include "linux/bus/serve_until.hpp"

namespace quorla::platform::linux_ {
namespace {

class ConsoleTest : public ::testing::Test {
  protected:
    ConsoleTest() {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) < 0)
            throw std::runtime_error("pipe2");
        readEnd = ends[0];
        writeEnd = ends[1];
    }
    ~ConsoleTest() override {
        console.reset();
        ::close(readEnd);
        if (writeEnd >= 0)
            ::close(writeEnd);
    }

    void start(ClientState initial) {
        client = std::make_unique<EmulatedClient>(initial, trace);
        console = std::make_unique<Console>(
            loop.event(), readEnd,
            Console::Targets{*client,
                             application,
                             statusBar,
                             bluetooth::BluetoothSessionManager::shared(),
                             {}},  // the pairing commands meet BlueZ, in the lab
            trace);
    }

    // Runs the loop until the console has taken in everything written so far.
    void send(std::string_view text) {
        ASSERT_EQ(::write(writeEnd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
        ASSERT_TRUE(serveUntil(loop, [&] {
            int unread = 0;
            return ::ioctl(readEnd, FIONREAD, &unread) == 0 && unread == 0;
        }));
    }

    EventLoop loop;
    int readEnd = -1;
    int writeEnd = -1;
    std::ostringstream trace;
    fakes::FakeApplication application;
    TracedStatusBar statusBar{trace};
    std::unique_ptr<EmulatedClient> client;
    std::unique_ptr<Console> console;
};

TEST_F(ConsoleTest, AnUnknownMalformedOrRefusedLineGetsOneLineAndChangesNothing) {
    start({});
    for (std::string_view line : {"bogus", "MIC", "mic on", "launchx", "language", "language xx",
                                  "\x01\x1b[2J\x7f", "quit now", "mic", "leave", "launch"}) {
        SCOPED_TRACE(line);
        trace.str("");
        send(std::string(line) + "\n");
        const auto reply = trace.str();
        EXPECT_EQ(std::count(reply.begin(), reply.end(), '\n'), 1) << reply;
        EXPECT_EQ(reply.find_first_of("\x01\x1b\x7f"), std::string::npos) << "echoed as is";
        EXPECT_EQ(reply.find("client: "), std::string::npos) << "the client noted a change";
        EXPECT_TRUE(fakes::CallLog::shared().startingWith("application terminate").empty());
    }
}

TEST_F(ConsoleTest, BlanksAroundCommandsAreIgnoredAndEachCommandReachesItsTarget) {
    start({});
    int updateChecks = 0;
    auto item = statusBar.makeVariableLengthItem();
    item->setMenu({{{"Check for Updates\u2026", [&] { ++updateChecks; }}}});

    send("  join \t\nlanguage   de\r\n\nupdates\n status\n");
    EXPECT_TRUE(client->state().isInMeeting);
    EXPECT_EQ(client->state().language, "de");
    EXPECT_NE(trace.str().find("package manager"), std::string::npos) << trace.str();
    EXPECT_NE(trace.str().find("status: 0xE0\n"), std::string::npos) << trace.str();
    EXPECT_EQ(updateChecks, 1);
    send("quit-client\n");
    EXPECT_FALSE(client->state().isRunning);
}

// 1024 bytes is the longest line taken, blanks included, not counting its line feed.
TEST_F(ConsoleTest, TheLongestLineTakenIs1024Bytes) {
    start({});
    send(std::string(1021, ' ') + "join\n");
    EXPECT_FALSE(client->state().isInMeeting);
    EXPECT_NE(trace.str().find("longer than 1024 bytes"), std::string::npos) << trace.str();
    send(std::string(1020, ' ') + "join\n");
    EXPECT_TRUE(client->state().isInMeeting);
}

// After a line of a megabyte, reported once, the input ends with a last line that runs; the
// agent keeps running.
TEST_F(ConsoleTest, ALineOfAMegabyteIsReportedOnceAndTheLastLineRunsAtTheEndOfInput) {
    start({.isRunning = false});
    std::thread writer([this] {
        const std::string input = std::string(1024 * 1024, 'x') + "\nlaunch";
        for (std::string_view rest = input; !rest.empty();) {
            const auto count = ::write(writeEnd, rest.data(), rest.size());
            if (count <= 0)
                return;
            rest.remove_prefix(static_cast<std::size_t>(count));
        }
        ::close(std::exchange(writeEnd, -1));
    });
    ASSERT_TRUE(
        serveUntil(loop, [&] { return trace.str().find("end of input") != std::string::npos; }));
    writer.join();
    EXPECT_TRUE(client->state().isRunning);
    const auto reported = trace.str().find("longer than");
    EXPECT_NE(reported, std::string::npos) << trace.str().substr(0, 300);
    EXPECT_EQ(trace.str().find("longer than", reported + 1), std::string::npos);
    EXPECT_TRUE(fakes::CallLog::shared().startingWith("application terminate").empty());
    EXPECT_EQ(sd_event_run(loop.event(), 0), 0) << "the closed input is still watched";
}

}  // namespace
}  // namespace quorla::platform::linux_

#include "platform/linux/event_loop.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace quorla::platform::linux_ {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Serves the loop until predicate holds; false once the deadline has passed. The loop
// sleeps as long as its own sources let it, so a timer that sd-event would fire late shows.
bool serveUntil(EventLoop& loop, const std::function<bool()>& predicate,
                std::chrono::milliseconds deadline = 3s) {
    const auto end = Clock::now() + deadline;
    while (!predicate()) {
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(end - Clock::now());
        if (left.count() <= 0)
            return false;
        sd_event_run(loop.event(), static_cast<std::uint64_t>(left.count()));
    }
    return true;
}

// Never early; and late only by scheduling noise, which the median gap rides out on a busy
// machine, while sd-event's default accuracy would space the ticks a quarter second apart.
TEST(EventLoop, TicksOneIntervalAfterSchedulingThenEveryInterval) {
    constexpr auto interval = 30ms;
    constexpr std::size_t count = 9;
    EventLoop loop;
    std::vector<Clock::duration> ticks;
    const auto start = Clock::now();
    auto timer =
        loop.scheduleRepeatingTimer(interval, [&] { ticks.push_back(Clock::now() - start); });
    ASSERT_TRUE(serveUntil(loop, [&] { return ticks.size() == count; }));
    std::vector<Clock::duration> gaps;
    for (std::size_t k = 0; k < count; ++k) {
        EXPECT_GE(ticks[k], static_cast<int>(k + 1) * interval) << "tick " << k;
        if (k > 0)
            gaps.push_back(ticks[k] - ticks[k - 1]);
    }
    std::sort(gaps.begin(), gaps.end());
    EXPECT_LT(ticks[0], interval + 100ms);
    EXPECT_LT(gaps[gaps.size() / 2], interval + 20ms);
}

TEST(EventLoop, StoppingOneTimerLeavesTheOthersTicking) {
    EventLoop loop;
    int stoppedTicks = 0, invalidatedTicks = 0, keptTicks = 0;
    auto stopped = loop.scheduleRepeatingTimer(10ms, [&] { ++stoppedTicks; });
    auto invalidated = loop.scheduleRepeatingTimer(10ms, [&] { ++invalidatedTicks; });
    auto kept = loop.scheduleRepeatingTimer(10ms, [&] { ++keptTicks; });
    ASSERT_TRUE(serveUntil(loop, [&] { return keptTicks == 2; }));
    const int stoppedAt = stoppedTicks, invalidatedAt = invalidatedTicks;
    stopped.reset();
    invalidated->invalidate();
    ASSERT_TRUE(serveUntil(loop, [&] { return keptTicks == 6; }));
    EXPECT_EQ(stoppedTicks, stoppedAt);
    EXPECT_EQ(invalidatedTicks, invalidatedAt);
}

TEST(EventLoop, InvalidatingInsideItsOwnTickReleasesTheBlockAtOnceAndEndsTheTicks) {
    EventLoop loop;
    auto held = std::make_shared<int>(0);
    std::weak_ptr<int> watched = held;
    std::unique_ptr<platform::Timer> timer;
    int ticks = 0;
    bool releasedAtOnce = false;
    // Runs outside the block's own storage, which invalidation frees.
    auto tick = [&] {
        ++ticks;
        timer->invalidate();
        releasedAtOnce = watched.expired();
    };
    timer = loop.scheduleRepeatingTimer(5ms, [held = std::move(held), &tick] { tick(); });
    int laterTicks = 0;
    auto later = loop.scheduleRepeatingTimer(5ms, [&] { ++laterTicks; });
    ASSERT_TRUE(serveUntil(loop, [&] { return laterTicks == 5; }));
    EXPECT_EQ(ticks, 1);
    EXPECT_TRUE(releasedAtOnce);
}

TEST(EventLoop, WorkFromAnotherThreadRunsOnTheLoopInOrder) {
    EventLoop loop;
    const auto loopThread = std::this_thread::get_id();
    std::vector<int> order;
    bool allOnLoopThread = true;
    std::thread poster([&] {
        for (int i = 0; i < 1000; ++i)
            loop.async([&, i] {
                order.push_back(i);
                allOnLoopThread = allOnLoopThread && std::this_thread::get_id() == loopThread;
            });
    });
    ASSERT_TRUE(serveUntil(loop, [&] { return order.size() == 1000; }));
    poster.join();
    EXPECT_TRUE(allOnLoopThread);
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(order[i], i);
}

struct RecordingDelegate final : platform::ApplicationDelegate {
    std::function<void()> onLaunch;
    std::vector<std::string>& log;
    explicit RecordingDelegate(std::vector<std::string>& log) : log(log) {}
    void applicationDidFinishLaunching() override {
        log.push_back("launched");
        onLaunch();
    }
    void applicationWillTerminate() override { log.push_back("will terminate"); }
};

TEST(EventLoop, ATerminationSignalEndsTheRunAfterTheDelegateAndTheExitTasks) {
    for (const int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        EventLoop loop;
        std::vector<std::string> log;
        RecordingDelegate delegate(log);
        delegate.onLaunch = [&] { kill(getpid(), signal); };
        std::unique_ptr<platform::Timer> unregistering;
        loop.addExitTask([&](std::function<void()> finished) {
            log.push_back("exit task started");
            // Finishes a few ticks later, as a reply from the bus would.
            unregistering = loop.scheduleRepeatingTimer(20ms, [&, finished] {
                log.push_back("exit task finished");
                auto done = finished;  // resetting the timer frees this block
                unregistering.reset();
                done();
            });
        });
        EXPECT_EQ(loop.run(delegate), 0);
        EXPECT_EQ(log, (std::vector<std::string>{"launched", "will terminate", "exit task started",
                                                 "exit task finished"}));
    }
}

TEST(EventLoop, AnExitTaskThatNeverFinishesHoldsTheExitOnlyUntilTheDeadline) {
    EventLoop loop;
    std::vector<std::string> log;
    RecordingDelegate delegate(log);
    delegate.onLaunch = [&] { loop.terminate(); };
    loop.addExitTask([](std::function<void()>) {});
    const auto start = Clock::now();
    EXPECT_EQ(loop.run(delegate), 0);
    const auto waited = Clock::now() - start;
    EXPECT_GE(waited, EventLoop::exitDeadline);
    EXPECT_LT(waited, EventLoop::exitDeadline + 500ms);
}

// An exception must not cross sd-event's C code: it ends the agent the way a signal does.
TEST(EventLoop, WorkThatThrowsEndsTheRunThroughTheTerminationPathWithStatusOne) {
    for (const bool fromTimer : {false, true}) {
        SCOPED_TRACE(fromTimer ? "timer" : "queued work");
        EventLoop loop;
        std::vector<std::string> log;
        RecordingDelegate delegate(log);
        std::unique_ptr<platform::Timer> timer;
        const auto fail = [] { throw std::runtime_error("sd_bus_open_system: No such file"); };
        delegate.onLaunch = [&] {
            if (fromTimer)
                timer = loop.scheduleRepeatingTimer(10ms, fail);
            else
                loop.async(fail);
        };
        loop.addExitTask([&](std::function<void()> finished) {
            log.push_back("exit task started");
            finished();
        });
        testing::internal::CaptureStderr();
        EXPECT_EQ(loop.run(delegate), 1);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "quorla: sd_bus_open_system: No such file\n");
        EXPECT_EQ(log,
                  (std::vector<std::string>{"launched", "will terminate", "exit task started"}));
    }
}

}  // namespace
}  // namespace quorla::platform::linux_

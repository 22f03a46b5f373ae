#include "platform/linux/bus/event_loop.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <iostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "linux/bus/serve_until.hpp"
#include "platform/linux/bus/entry_guard.hpp"

namespace quorla::platform::linux_ {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Never early; and late only by scheduling noise, which the median gap rides out on a busy
// machine, while sd-event's default accuracy would space the ticks a quarter second apart.
// A tick that stalls the loop for four intervals is followed by one late tick, not a burst.
TEST(EventLoop, TicksEveryIntervalAfterSchedulingAndSkipsWhatAStallMissed) {
    constexpr auto interval = 30ms;
    constexpr std::size_t count = 9, stalled = 5;
    EventLoop loop;
    std::vector<Clock::duration> ticks;
    const auto start = Clock::now();
    auto timer = loop.scheduleRepeatingTimer(interval, [&] {
        ticks.push_back(Clock::now() - start);
        if (ticks.size() == stalled)
            std::this_thread::sleep_for(4 * interval);
    });
    ASSERT_TRUE(serveUntil(loop, [&] { return ticks.size() == count; }));
    std::vector<Clock::duration> gaps;
    for (std::size_t k = 1; k < count; ++k) {
        if (k < stalled) {
            EXPECT_GE(ticks[k - 1], static_cast<int>(k) * interval) << "tick " << k - 1;
        }
        if (k != stalled)
            gaps.push_back(ticks[k] - ticks[k - 1]);
    }
    // The ticks missed, fired in a burst, would come all but at once after the late one.
    EXPECT_GE(ticks[count - 1] - ticks[stalled], 2 * interval) << "a burst";
    std::sort(gaps.begin(), gaps.end());
    EXPECT_LT(ticks[0], interval + 100ms);
    EXPECT_LT(gaps[gaps.size() / 2], interval + 20ms);
}

// Whether let go from outside or invalidated inside its own tick, where it lets go of its
// block at once.
TEST(EventLoop, AStoppedTimerTicksNoMoreWhileTheOthersTick) {
    EventLoop loop;
    int stoppedTicks = 0, ownTicks = 0, keptTicks = 0;
    auto held = std::make_shared<int>(0);
    std::weak_ptr<int> watched = held;
    bool releasedAtOnce = false;
    std::unique_ptr<platform::Timer> own;
    // Runs outside the block's own storage, which invalidation frees.
    auto tick = [&] {
        ++ownTicks;
        own->invalidate();
        releasedAtOnce = watched.expired();
    };
    own = loop.scheduleRepeatingTimer(10ms, [held = std::move(held), &tick] { tick(); });
    auto stopped = loop.scheduleRepeatingTimer(10ms, [&] { ++stoppedTicks; });
    auto kept = loop.scheduleRepeatingTimer(10ms, [&] { ++keptTicks; });
    ASSERT_TRUE(serveUntil(loop, [&] { return keptTicks == 2; }));
    const int stoppedAt = stoppedTicks;
    stopped.reset();
    ASSERT_TRUE(serveUntil(loop, [&] { return keptTicks == 6; }));
    EXPECT_EQ(stoppedTicks, stoppedAt);
    EXPECT_EQ(ownTicks, 1);
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
    std::function<void()> onTerminate = [] {};
    std::vector<std::string> log;
    void applicationDidFinishLaunching() override {
        log.push_back("launched");
        onLaunch();
    }
    void applicationWillTerminate() override {
        log.push_back("will terminate");
        onTerminate();
    }
};

// An exception must not cross sd-event's or sd-bus's C code (entry_guard.hpp): one from the
// program's own work or a broken bus ends the agent the way a signal does, but with status 1;
// one from an input is logged and the agent goes on. Either way the run ends once the exit
// tasks finish, or at the deadline for one that never does.
TEST(EventLoop, ASignalOrFailedWorkEndsTheRunAfterTheDelegateAndTheExitTasks) {
    const auto fail = [] { throw std::runtime_error("sd_bus_open_system: No such file"); };
    // The failure of an input; the agent going on is ended by a quit a moment later.
    const auto input = [](auto failure) {
        return [failure](EventLoop& loop, auto&) {
            loop.async([failure] {
                guardInput(std::cerr, "bluez", nullptr, [&]() -> int { throw failure; });
            });
            return loop.scheduleTimer(300ms, [&loop] { loop.terminate(); });
        };
    };
    using Start = std::function<std::unique_ptr<platform::Timer>(EventLoop&, RecordingDelegate&)>;
    const auto signal = [](int number) -> Start {
        return [number](EventLoop&, auto&) { return kill(getpid(), number), nullptr; };
    };
    const std::string ended = "quorla: sd_bus_open_system: No such file\n";
    const struct {
        const char* name;
        Start start;
        int status;
        std::string said;
        std::chrono::milliseconds held = 0ms;  // by an exit task that never finishes
    } cases[] = {
        {"SIGTERM", signal(SIGTERM), 0, ""},
        {"SIGINT", signal(SIGINT), 0, ""},
        {"queued work", [&](EventLoop& loop, auto&) { return loop.async(fail), nullptr; }, 1,
         ended},
        {"a tick", [&](EventLoop& loop, auto&) { return loop.scheduleRepeatingTimer(10ms, fail); },
         1, ended},
        {"the delegate, told of a signal",
         [&](EventLoop& loop, RecordingDelegate& delegate) {
             delegate.onTerminate = fail;
             return signal(SIGTERM)(loop, delegate);
         },
         1, ended},
        {"an input whose bus broke", input(BusFailure("sd_bus_open_system: No such file")), 1,
         ended},
        {"an input that failed", input(std::runtime_error("no such device")), 0,
         "bluez: no such device\n"},
        {"SIGTERM, an exit task never finishing",
         [&](EventLoop& loop, auto& delegate) {
             loop.addExitTask([](auto) {});
             return signal(SIGTERM)(loop, delegate);
         },
         0, "", EventLoop::exitDeadline},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EventLoop loop;
        RecordingDelegate delegate;
        std::unique_ptr<platform::Timer> timer, unregistering;
        delegate.onLaunch = [&] { timer = c.start(loop, delegate); };
        delegate.onTerminate = [&] { timer.reset(); };
        loop.addExitTask([&](std::function<void()> finished) {
            delegate.log.push_back("exit task started");
            // Finishes a few ticks later, as a reply from the bus would.
            unregistering = loop.scheduleRepeatingTimer(20ms, [&, finished] {
                delegate.log.push_back("exit task finished");
                auto done = finished;  // resetting the timer frees this block
                unregistering.reset();
                done();
            });
        });
        testing::internal::CaptureStderr();
        const auto start = Clock::now();
        EXPECT_EQ(loop.run(delegate), c.status);
        const auto took = Clock::now() - start;
        EXPECT_GE(took, c.held);
        EXPECT_LT(took, c.held + EventLoop::exitDeadline / 2) << "held past the exit tasks";
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.said);
        EXPECT_EQ(delegate.log,
                  (std::vector<std::string>{"launched", "will terminate", "exit task started",
                                            "exit task finished"}));
    }
}

}  // namespace
}  // namespace quorla::platform::linux_

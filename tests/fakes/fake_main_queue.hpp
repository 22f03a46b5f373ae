#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/main_queue.hpp"

namespace quorla::fakes {

// The main queue and its timers on a virtual clock: nothing runs until the test drains
// the queue or advances time. async may be called from any thread.
// Records "timer every <interval>s" and "timer invalidated" in the call log.
class FakeMainQueue final : public platform::MainQueue {
  public:
    FakeMainQueue();
    // Drops queued work and timers, releasing what their blocks hold.
    ~FakeMainQueue() override;

    void async(std::function<void()> work) override;
    std::unique_ptr<platform::Timer> scheduleRepeatingTimer(platform::Seconds interval,
                                                            std::function<void()> block) override;

    platform::Seconds now() const;
    // Runs queued work in order, including work queued meanwhile, until none is left.
    // Returns how many items ran.
    int drain();
    // Drains, then moves the clock on by duration, firing every tick that falls due in
    // time order and draining after each.
    void advance(platform::Seconds duration);

    std::size_t pendingWork() const;
    std::size_t activeTimers() const;
    // Waits up to timeout for work queued from another thread; true when some is queued.
    bool waitForWork(std::chrono::milliseconds timeout);

  private:
    struct ScheduledTimer {
        std::uint64_t id;
        platform::Seconds interval;
        platform::Seconds nextFire;
        std::shared_ptr<std::function<void()>> block;
    };
    struct State {
        mutable std::mutex mutex;
        std::condition_variable workQueued;
        std::deque<std::function<void()>> work;
        std::vector<ScheduledTimer> timers;
        platform::Seconds now{0.0};
        std::uint64_t nextTimerId = 1;
    };
    class FakeTimer;

    std::function<void()> takeWork();
    // The block of the earliest timer due by deadline, with the clock moved to its tick.
    std::shared_ptr<std::function<void()>> takeDueTick(platform::Seconds deadline);

    std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace quorla::fakes

#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "platform/main_queue.hpp"

namespace quorla::fakes {

// The main queue and its timers on a virtual clock: nothing runs until the test drains
// the queue or advances time. Another thread may queue work only while the test's
// thread waits for it to end (join), which is all the fakes do.
// Records "timer every <interval>s" and "timer invalidated" in the call log.
class FakeMainQueue final : public platform::MainQueue {
  public:
    // Drops queued work and timers, releasing what their blocks hold.
    ~FakeMainQueue() override;

    void async(std::function<void()> work) override;
    std::unique_ptr<platform::Timer> scheduleRepeatingTimer(platform::Seconds interval,
                                                            std::function<void()> block) override;

    // Runs queued work in order, including work queued meanwhile; returns how many ran.
    int drain();
    // Drains, then moves the clock on by duration, firing every tick that falls due in
    // time order and draining after each.
    void advance(platform::Seconds duration);

    std::size_t pendingWork() const { return state_->work.size(); }
    std::size_t activeTimers() const { return state_->timers.size(); }

  private:
    struct ScheduledTimer {
        std::uint64_t id;
        platform::Seconds interval;
        platform::Seconds nextFire;
        std::shared_ptr<std::function<void()>> block;
    };
    // Shared with the timer handles, which may outlive the queue.
    struct State {
        std::deque<std::function<void()>> work;
        std::vector<ScheduledTimer> timers;
        platform::Seconds now{0.0};
        std::uint64_t nextTimerId = 1;
    };
    class FakeTimer;

    std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace quorla::fakes

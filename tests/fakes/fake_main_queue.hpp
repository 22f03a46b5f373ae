#pragma once

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "fakes/call_log.hpp"
#include "platform/main_queue.hpp"

namespace quorla::fakes {

// The main queue and its timers on a virtual clock: nothing runs until the test drains
// the queue or advances time. Another thread may queue work only while the test's thread
// waits for it to end, as FakeCloudIdentity does. Records "timer every <interval>s" and
// "timer invalidated" in the call log.
class FakeMainQueue final : public platform::MainQueue {
  public:
    // Queued work and timer blocks go here, while the queue is still whole: what they hold
    // may invalidate its timers.
    ~FakeMainQueue() override {
        auto work = std::move(work_);
        auto timers = std::move(timers_);
    }

    void async(std::function<void()> work) override { work_.push_back(std::move(work)); }

    std::unique_ptr<platform::Timer> scheduleRepeatingTimer(platform::Seconds interval,
                                                            std::function<void()> block) override {
        timers_[++lastTimer_] = {interval, now_ + interval,
                                 std::make_shared<std::function<void()>>(std::move(block))};
        CallLog::shared().add("timer every " + std::to_string(int(interval.count())) + "s");
        return std::make_unique<Timer>(*this, lastTimer_);
    }

    // Runs queued work in order, including work queued meanwhile.
    void drain() {
        while (!work_.empty()) {
            auto work = std::move(work_.front());
            work_.pop_front();
            work();
        }
    }

    // Drains, then moves the clock on by duration, firing every tick that falls due in
    // time order and draining after each.
    void advance(platform::Seconds duration) {
        drain();
        const auto deadline = now_ + duration;
        for (;;) {
            auto due = std::min_element(timers_.begin(), timers_.end(), [](auto& a, auto& b) {
                return a.second.nextFire < b.second.nextFire;
            });
            if (due == timers_.end() || due->second.nextFire > deadline)
                break;
            now_ = due->second.nextFire;
            due->second.nextFire += due->second.interval;
            const auto block =
                due->second.block;  // kept while it runs, even if it invalidates itself
            (*block)();
            drain();
        }
        now_ = deadline;
    }

    std::size_t pendingWork() const { return work_.size(); }
    std::size_t activeTimers() const { return timers_.size(); }

  private:
    struct Scheduled {
        platform::Seconds interval, nextFire;
        std::shared_ptr<std::function<void()>> block;
    };
    struct Timer final : platform::Timer {
        Timer(FakeMainQueue& queue, int id) : queue(queue), id(id) {}
        ~Timer() override { invalidate(); }
        void invalidate() override {
            if (auto released = queue.timers_.extract(id))  // the block goes after the erase
                CallLog::shared().add("timer invalidated");
        }
        FakeMainQueue& queue;
        int id;
    };

    std::deque<std::function<void()>> work_;
    std::map<int, Scheduled> timers_;
    platform::Seconds now_{0.0};
    int lastTimer_ = 0;
};

}  // namespace quorla::fakes

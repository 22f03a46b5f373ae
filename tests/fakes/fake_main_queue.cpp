#include "fakes/fake_main_queue.hpp"

#include <algorithm>
#include <sstream>

#include "fakes/call_log.hpp"

namespace quorla::fakes {

class FakeMainQueue::FakeTimer final : public platform::Timer {
  public:
    FakeTimer(std::weak_ptr<State> state, std::uint64_t id) : state_(std::move(state)), id_(id) {}
    ~FakeTimer() override { invalidate(); }

    void invalidate() override {
        auto state = state_.lock();
        if (!state)
            return;
        auto found = std::find_if(state->timers.begin(), state->timers.end(),
                                  [this](const auto& timer) { return timer.id == id_; });
        if (found == state->timers.end())
            return;
        // Released after the erase: what the block holds may invalidate timers itself.
        const auto released = std::move(found->block);
        state->timers.erase(found);
        CallLog::shared().add("timer invalidated");
    }

  private:
    std::weak_ptr<State> state_;
    std::uint64_t id_;
};

FakeMainQueue::~FakeMainQueue() {
    // Out of state_ first: the blocks may own a delegate whose teardown calls back here.
    const auto work = std::move(state_->work);
    const auto timers = std::move(state_->timers);
    state_.reset();
}

void FakeMainQueue::async(std::function<void()> work) {
    state_->work.push_back(std::move(work));
}

std::unique_ptr<platform::Timer> FakeMainQueue::scheduleRepeatingTimer(
    platform::Seconds interval, std::function<void()> block) {
    const auto id = state_->nextTimerId++;
    state_->timers.push_back({id, interval, state_->now + interval,
                              std::make_shared<std::function<void()>>(std::move(block))});
    std::ostringstream entry;
    entry << "timer every " << interval.count() << "s";
    CallLog::shared().add(entry.str());
    return std::make_unique<FakeTimer>(state_, id);
}

int FakeMainQueue::drain() {
    int ran = 0;
    while (!state_->work.empty()) {
        auto work = std::move(state_->work.front());
        state_->work.pop_front();
        work();
        ++ran;
    }
    return ran;
}

void FakeMainQueue::advance(platform::Seconds duration) {
    drain();
    const auto deadline = state_->now + duration;
    for (;;) {
        auto& timers = state_->timers;
        auto due = std::min_element(timers.begin(), timers.end(), [](const auto& a, const auto& b) {
            return a.nextFire < b.nextFire;
        });
        if (due == timers.end() || due->nextFire > deadline)
            break;
        state_->now = due->nextFire;
        due->nextFire += due->interval;
        const auto block = due->block;  // kept while it runs, even if it invalidates itself
        (*block)();
        drain();
    }
    state_->now = deadline;
}

}  // namespace quorla::fakes

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
        std::shared_ptr<std::function<void()>> released;
        {
            std::lock_guard lock(state->mutex);
            auto found = std::find_if(state->timers.begin(), state->timers.end(),
                                      [this](const auto& timer) { return timer.id == id_; });
            if (found == state->timers.end())
                return;
            released = std::move(found->block);
            state->timers.erase(found);
        }
        CallLog::shared().add("timer invalidated");
    }  // the block goes here, outside the lock, as what it holds may invalidate timers

  private:
    std::weak_ptr<State> state_;
    std::uint64_t id_;
};

FakeMainQueue::FakeMainQueue() = default;

FakeMainQueue::~FakeMainQueue() {
    std::deque<std::function<void()>> work;
    std::vector<ScheduledTimer> timers;
    {
        std::lock_guard lock(state_->mutex);
        work.swap(state_->work);
        timers.swap(state_->timers);
    }
    state_.reset();
}

void FakeMainQueue::async(std::function<void()> work) {
    {
        std::lock_guard lock(state_->mutex);
        state_->work.push_back(std::move(work));
    }
    state_->workQueued.notify_all();
}

std::unique_ptr<platform::Timer> FakeMainQueue::scheduleRepeatingTimer(
    platform::Seconds interval, std::function<void()> block) {
    std::uint64_t id;
    {
        std::lock_guard lock(state_->mutex);
        id = state_->nextTimerId++;
        state_->timers.push_back({id, interval, state_->now + interval,
                                  std::make_shared<std::function<void()>>(std::move(block))});
    }
    std::ostringstream entry;
    entry << "timer every " << interval.count() << "s";
    CallLog::shared().add(entry.str());
    return std::make_unique<FakeTimer>(state_, id);
}

platform::Seconds FakeMainQueue::now() const {
    std::lock_guard lock(state_->mutex);
    return state_->now;
}

std::function<void()> FakeMainQueue::takeWork() {
    std::lock_guard lock(state_->mutex);
    if (state_->work.empty())
        return nullptr;
    auto work = std::move(state_->work.front());
    state_->work.pop_front();
    return work;
}

int FakeMainQueue::drain() {
    int ran = 0;
    while (auto work = takeWork()) {
        work();
        ++ran;
    }
    return ran;
}

std::shared_ptr<std::function<void()>> FakeMainQueue::takeDueTick(platform::Seconds deadline) {
    std::lock_guard lock(state_->mutex);
    auto due =
        std::min_element(state_->timers.begin(), state_->timers.end(),
                         [](const auto& a, const auto& b) { return a.nextFire < b.nextFire; });
    if (due == state_->timers.end() || due->nextFire > deadline)
        return nullptr;
    state_->now = due->nextFire;
    due->nextFire += due->interval;
    return due->block;
}

void FakeMainQueue::advance(platform::Seconds duration) {
    drain();
    const auto deadline = now() + duration;
    while (auto block = takeDueTick(deadline)) {
        (*block)();
        drain();
    }
    std::lock_guard lock(state_->mutex);
    state_->now = deadline;
}

std::size_t FakeMainQueue::pendingWork() const {
    std::lock_guard lock(state_->mutex);
    return state_->work.size();
}

std::size_t FakeMainQueue::activeTimers() const {
    std::lock_guard lock(state_->mutex);
    return state_->timers.size();
}

bool FakeMainQueue::waitForWork(std::chrono::milliseconds timeout) {
    std::unique_lock lock(state_->mutex);
    return state_->workQueued.wait_for(lock, timeout, [this] { return !state_->work.empty(); });
}

}  // namespace quorla::fakes

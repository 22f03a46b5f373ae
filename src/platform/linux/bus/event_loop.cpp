#include "platform/linux/bus/event_loop.hpp"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <utility>

#include "platform/linux/bus/entry_guard.hpp"

namespace quorla::platform::linux_ {

namespace {

// The loop of the one thread, which a failure anywhere ends (endProgram).
EventLoop* runningLoop = nullptr;

// Without an explicit accuracy sd-event may coalesce a timer up to 250 ms late.
constexpr std::uint64_t timerAccuracyUsec = 1000;

std::uint64_t toUsec(std::chrono::duration<double> duration) {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(duration).count());
}

sigset_t terminationSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    return signals;
}

// Each tick is the program's own work, its own rescheduling included.
class LoopTimer final : public platform::Timer {
  public:
    // intervalUsec 0: fires once, after delayUsec.
    LoopTimer(EventLoop& loop, std::uint64_t delayUsec, std::uint64_t intervalUsec,
              std::function<void()> block)
        : intervalUsec_(intervalUsec), block_(std::move(block)) {
        sd_event_source* source = nullptr;
        check(sd_event_add_time_relative(loop.event(), &source, CLOCK_MONOTONIC, delayUsec,
                                         timerAccuracyUsec, &LoopTimer::onTick, this),
              "sd_event_add_time_relative");
        source_.reset(source);
        check(sd_event_source_set_enabled(source, intervalUsec_ ? SD_EVENT_ON : SD_EVENT_ONESHOT),
              "sd_event_source_set_enabled");
    }
    ~LoopTimer() override { invalidate(); }

    void invalidate() override {
        source_.reset();
        block_ = nullptr;
    }

  private:
    // The block may invalidate or even destroy this timer, so nothing here touches the
    // timer after the block has run.
    static int onTick(sd_event_source* source, std::uint64_t scheduled, void* userdata) {
        auto* timer = static_cast<LoopTimer*>(userdata);
        guardWork([&] {
            if (timer->intervalUsec_)
                timer->reschedule(source, scheduled);
            timer->block_();
        });
        return 0;
    }

    // Ticks that a long block made us miss are skipped, not fired in a burst.
    void reschedule(sd_event_source* source, std::uint64_t scheduled) {
        std::uint64_t now = 0;
        check(sd_event_now(sd_event_source_get_event(source), CLOCK_MONOTONIC, &now),
              "sd_event_now");
        std::uint64_t next = scheduled + intervalUsec_;
        if (next <= now)
            next = now + intervalUsec_;
        check(sd_event_source_set_time(source, next), "sd_event_source_set_time");
    }

    std::uint64_t intervalUsec_;
    std::function<void()> block_;
    EventSourceOwner source_;
};

}  // namespace

EventLoop::EventLoop(std::chrono::milliseconds exitDeadline) : exitDeadline_(exitDeadline) {
    sd_event* event = nullptr;
    check(sd_event_new(&event), "sd_event_new");
    event_.reset(event);

    const sigset_t signals = terminationSignals();
    check(-pthread_sigmask(SIG_BLOCK, &signals, &previousMask_), "pthread_sigmask");

    wakeUpFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeUpFd_ < 0)
        check(-errno, "eventfd");
    sd_event_source* source = nullptr;
    check(sd_event_add_io(event, &source, wakeUpFd_, EPOLLIN, &EventLoop::onWakeUp, this),
          "sd_event_add_io");
    wakeUpSource_.reset(source);
    runningLoop = this;
}

EventLoop::~EventLoop() {
    if (runningLoop == this)
        runningLoop = nullptr;
    exitDeadlineSource_.reset();
    wakeUpSource_.reset();
    close(wakeUpFd_);
    pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
}

void EventLoop::async(std::function<void()> work) {
    {
        std::lock_guard lock(queueMutex_);
        queue_.push_back(std::move(work));
    }
    const std::uint64_t one = 1;
    // A full counter still wakes the loop, so a failed write loses nothing.
    [[maybe_unused]] auto written = write(wakeUpFd_, &one, sizeof one);
}

int EventLoop::onWakeUp(sd_event_source*, int fd, std::uint32_t, void* userdata) {
    std::uint64_t count = 0;
    [[maybe_unused]] auto read_ = read(fd, &count, sizeof count);
    guardWork([&] { static_cast<EventLoop*>(userdata)->runQueued(); });
    return 0;
}

// Work queued while this batch runs waits for the next wake-up, after what the loop has
// pending meanwhile.
void EventLoop::runQueued() {
    std::deque<std::function<void()>> batch;
    {
        std::lock_guard lock(queueMutex_);
        batch.swap(queue_);
    }
    for (auto& work : batch)
        guardWork(work);
}

void EventLoop::endWithFailure(const std::string& what) noexcept {
    fail(what);
    try {
        terminate();
    } catch (const std::exception& failure) {
        // The termination path failed too: end without it.
        fail(failure.what());
        sd_event_exit(event_.get(), exitStatus_);
    }
}

void endProgram(const std::string& what) noexcept {
    if (runningLoop)
        return runningLoop->endWithFailure(what);
    std::cerr << "quorla: " + what + '\n';
    std::_Exit(1);
}

void EventLoop::fail(const std::string& what) noexcept {
    std::cerr << "quorla: " + what + '\n';  // one write
    exitStatus_ = 1;
}

void EventLoop::exit() {
    check(sd_event_exit(event_.get(), exitStatus_), "sd_event_exit");
}

std::unique_ptr<platform::Timer> EventLoop::scheduleRepeatingTimer(platform::Seconds interval,
                                                                   std::function<void()> block) {
    return std::make_unique<LoopTimer>(*this, toUsec(interval), toUsec(interval), std::move(block));
}

std::unique_ptr<platform::Timer> EventLoop::scheduleTimer(platform::Seconds delay,
                                                          std::function<void()> block) {
    return std::make_unique<LoopTimer>(*this, toUsec(delay), 0, std::move(block));
}

int EventLoop::run(platform::ApplicationDelegate& delegate) {
    delegate_ = &delegate;
    EventSourceOwner terminateSource;
    EventSourceOwner interruptSource;
    for (auto [signal, owner] :
         {std::pair{SIGTERM, &terminateSource}, std::pair{SIGINT, &interruptSource}}) {
        sd_event_source* source = nullptr;
        check(sd_event_add_signal(event_.get(), &source, signal, &EventLoop::onSignal, this),
              "sd_event_add_signal");
        owner->reset(source);
    }
    async([this] { delegate_->applicationDidFinishLaunching(); });
    const int status = check(sd_event_loop(event_.get()), "sd_event_loop");
    delegate_ = nullptr;
    return status;
}

int EventLoop::onSignal(sd_event_source*, const signalfd_siginfo*, void* userdata) {
    auto& loop = *static_cast<EventLoop*>(userdata);
    guardWork([&] { loop.terminate(); });
    return 0;
}

void EventLoop::terminate() {
    if (isTerminating_) {
        exit();
        return;
    }
    isTerminating_ = true;
    // The exit tasks still run when the delegate fails: they leave BlueZ clean.
    if (delegate_) {
        try {
            delegate_->applicationWillTerminate();
        } catch (const std::exception& failure) {
            fail(failure.what());
        }
    }

    pendingExitTasks_ = exitTasks_.size();
    if (pendingExitTasks_ == 0) {
        exit();
        return;
    }
    sd_event_source* source = nullptr;
    check(sd_event_add_time_relative(event_.get(), &source, CLOCK_MONOTONIC, toUsec(exitDeadline_),
                                     timerAccuracyUsec, &EventLoop::onExitDeadline, this),
          "sd_event_add_time_relative");
    exitDeadlineSource_.reset(source);
    // Tasks may finish synchronously, so they run from a copy that they cannot invalidate.
    auto tasks = exitTasks_;
    for (auto& [id, task] : tasks) {
        auto isFinished = std::make_shared<bool>(false);
        task([this, isFinished] {
            if (!std::exchange(*isFinished, true))
                exitTaskFinished();
        });
    }
}

void EventLoop::exitTaskFinished() {
    if (pendingExitTasks_ == 0 || --pendingExitTasks_ > 0)
        return;
    exitDeadlineSource_.reset();
    exit();
}

// Nothing here can throw: ending the run is all that is left.
int EventLoop::onExitDeadline(sd_event_source*, std::uint64_t, void* userdata) {
    auto* loop = static_cast<EventLoop*>(userdata);
    loop->pendingExitTasks_ = 0;
    return sd_event_exit(loop->event_.get(), loop->exitStatus_);
}

std::uint64_t EventLoop::addExitTask(ExitTask task) {
    const auto id = nextExitTaskId_++;
    exitTasks_.emplace(id, std::move(task));
    return id;
}

void EventLoop::removeExitTask(std::uint64_t id) {
    exitTasks_.erase(id);
}

}  // namespace quorla::platform::linux_

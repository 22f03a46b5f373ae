#pragma once

#include <systemd/sd-event.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/application.hpp"
#include "platform/linux/bus/sd_owners.hpp"
#include "platform/main_queue.hpp"

namespace quorla::platform::linux_ {

// The one thread of the agent: an sd-event loop that serves the main queue, the timers,
// SIGTERM/SIGINT and whatever other adapters attach to event() (the bus, stdin).
class EventLoop final : public platform::MainQueue, public platform::Application {
  public:
    // Work that must be over before the process exits, such as leaving BlueZ. It starts
    // once the delegate has heard applicationWillTerminate and calls finished when done;
    // run returns when every task has finished or the exit deadline has passed.
    using ExitTask = std::function<void(std::function<void()> finished)>;
    static constexpr std::chrono::milliseconds exitDeadline{2000};

    // Blocks SIGTERM and SIGINT for this thread and the threads it starts later, so that
    // a signal arriving before run is kept for the loop instead of killing the process.
    // A program whose exit tasks take longer (BlueZ answers a Disconnect only after a 2 s
    // grace period) gives a later deadline.
    explicit EventLoop(std::chrono::milliseconds exitDeadline = EventLoop::exitDeadline);
    ~EventLoop() override;
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    sd_event* event() const { return event_.get(); }

    void async(std::function<void()> work) override;
    std::unique_ptr<platform::Timer> scheduleRepeatingTimer(platform::Seconds interval,
                                                            std::function<void()> block) override;
    // Fires once, delay after scheduling, unless the timer is invalidated first.
    std::unique_ptr<platform::Timer> scheduleTimer(platform::Seconds delay,
                                                   std::function<void()> block);

    // Prints what on stderr and ends the run with status 1 through the termination path
    // (entry_guard.hpp says when).
    void endWithFailure(const std::string& what) noexcept;

    // Runs once per loop. Returns 0, or 1 when a failure ended it (endWithFailure).
    int run(platform::ApplicationDelegate& delegate) override;
    // On the loop's thread. A second call while terminating (a second Ctrl-C) ends the
    // loop at once without waiting for the exit tasks.
    void terminate() override;

    std::uint64_t addExitTask(ExitTask task);
    void removeExitTask(std::uint64_t id);

  private:
    static int onWakeUp(sd_event_source*, int fd, std::uint32_t, void* userdata);
    static int onSignal(sd_event_source*, const signalfd_siginfo*, void* userdata);
    static int onExitDeadline(sd_event_source*, std::uint64_t, void* userdata);
    void runQueued();
    // Prints what failed and marks the run failed.
    void fail(const std::string& what) noexcept;
    void exit();
    void exitTaskFinished();

    EventOwner event_;
    int wakeUpFd_ = -1;
    EventSourceOwner wakeUpSource_;
    sigset_t previousMask_{};

    std::mutex queueMutex_;  // guards queue_ only; nothing else is shared between threads
    std::deque<std::function<void()>> queue_;

    platform::ApplicationDelegate* delegate_ = nullptr;
    bool isTerminating_ = false;
    int exitStatus_ = 0;
    std::size_t pendingExitTasks_ = 0;
    std::uint64_t nextExitTaskId_ = 1;
    std::map<std::uint64_t, ExitTask> exitTasks_;
    std::chrono::milliseconds exitDeadline_;
    EventSourceOwner exitDeadlineSource_;
};

}  // namespace quorla::platform::linux_

#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace quorla::platform {

using Seconds = std::chrono::duration<double>;

// A repeating timer on the main loop. It keeps firing in every mode of the loop, so a
// status menu held open does not hold back its ticks.
class Timer {
  public:
    // Destroying the handle invalidates the timer as well.
    virtual ~Timer() = default;

    // No tick after this returns; the block is released at once, so whatever the block
    // holds strongly is free to go.
    virtual void invalidate() = 0;
};

// The main thread's queue, where everything of the agent runs.
class MainQueue {
  public:
    virtual ~MainQueue() = default;

    // Runs work later on the main thread, after what is already queued. Safe to call
    // from any thread: the only way work from another thread reaches the agent.
    virtual void async(std::function<void()> work) = 0;

    // The first tick comes one interval after scheduling, then one every interval until
    // the timer is invalidated. Call on the main thread.
    virtual std::unique_ptr<Timer> scheduleRepeatingTimer(Seconds interval,
                                                          std::function<void()> block) = 0;
};

}  // namespace quorla::platform

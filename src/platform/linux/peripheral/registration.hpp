#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <set>
#include <string>

namespace quorla::platform::linux_ {

// One thing the agent asks BlueZ to hold: the GATT application or the advertisement. It
// compares what the core wants with what BlueZ holds and says which call comes next; the
// bus side makes that call and reports the reply. There is no bus here, so each decision
// is checked by table.
//
// At most one call is in flight, and what happens meanwhile waits for its reply. A stale or
// unwanted registration is unregistered before the current one is registered, so BlueZ
// never holds two of ours. A refused registration is asked again after a delay that starts
// at one second and doubles up to a minute: never given up, never in a tight loop. Refused
// because BlueZ still holds a stale one, it unregisters that and registers again at once.
class Registration {
  public:
    enum class Call { none, registerOn, unregisterFrom, retryAfter };
    struct Step {
        Call call = Call::none;
        std::string adapter{};  // the adapter's object path, for registerOn and unregisterFrom
        std::chrono::seconds delay{};  // for retryAfter: then call retryDue
        bool operator==(const Step&) const = default;
    };
    struct Outcome {
        Step next;
        bool isReported =
            false;  // worth a line in the trace: a failure not seen since the last success
        bool operator==(const Outcome&) const = default;
    };
    static constexpr std::chrono::seconds firstRetryDelay{1};
    static constexpr std::chrono::seconds longestRetryDelay{60};

    // Where a registration can succeed now: the chosen adapter while it is powered. Changing
    // it makes no call by itself: the core asks anew (want) whenever the adapter or its power
    // changes.
    void setAdapter(std::optional<std::string> adapter) { adapter_ = std::move(adapter); }
    // The core asks for a registration of new content; a retry still waiting is dropped.
    Step want();
    // The agent is quitting: whatever is held is unregistered and nothing is registered.
    Step leave();
    Step retryDue();
    // The reply to the call in flight; error is the D-Bus error name, none for success.
    Outcome replied(const std::optional<std::string>& error);
    // BlueZ dropped what it held on that adapter (none: on every adapter); a reply still due
    // there will not be waited for.
    void forget(const std::optional<std::string>& adapter);
    // BlueZ released what it held, as it does when the adapter goes away or powers off; the
    // core asks anew once the adapter is back.
    void released();
    // Nothing held and no call in flight.
    bool isIdle() const { return phase_ == Phase::idle; }

  private:
    enum class Phase { idle, registering, held, unregistering };
    Step reconcile();
    Outcome registrationReplied(const std::optional<std::string>& error);
    Step retryLater();

    Phase phase_ = Phase::idle;
    std::optional<std::string> adapter_;
    std::string heldAdapter_;  // where it is held or being registered
    bool isWanted_ = false;
    bool isLeaving_ = false;
    bool isWaiting_ = false;        // for retryDue
    bool isClearingStale_ = false;  // unregistered a stale one since the last success
    std::uint64_t generation_ = 0;  // bumped each time the core asks anew
    std::uint64_t heldGeneration_ = 0;
    std::chrono::seconds nextDelay_ = firstRetryDelay;
    std::set<std::string> reportedFailures_;
};

}  // namespace quorla::platform::linux_

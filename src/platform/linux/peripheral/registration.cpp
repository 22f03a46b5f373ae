#include "platform/linux/peripheral/registration.hpp"

#include <algorithm>
#include <utility>

#include "platform/linux/bus/bluez_names.hpp"

namespace quorla::platform::linux_ {

Registration::Step Registration::want() {
    ++generation_;
    isWanted_ = true;
    isWaiting_ = false;
    return reconcile();
}

Registration::Step Registration::leave() {
    isLeaving_ = true;
    return reconcile();
}

Registration::Step Registration::retryDue() {
    if (!std::exchange(isWaiting_, false))
        return {};  // a retry the core's new request overtook
    return reconcile();
}

Registration::Outcome Registration::replied(const std::optional<std::string>& error) {
    if (phase_ == Phase::registering)
        return registrationReplied(error);
    if (phase_ != Phase::unregistering)
        return {};  // nothing was in flight
    phase_ = Phase::idle;
    // After a power cycle bluetoothd may have dropped it already, which is what we asked for.
    return {reconcile(), error && *error != bluez::error::doesNotExist};
}

Registration::Outcome Registration::registrationReplied(const std::optional<std::string>& error) {
    if (!error) {
        phase_ = Phase::held;
        isClearingStale_ = false;
        nextDelay_ = firstRetryDelay;
        reportedFailures_.clear();
        return {reconcile(), false};
    }
    phase_ = Phase::idle;
    const bool isNew = reportedFailures_.insert(*error).second;
    // BlueZ still holds one of ours that we believed gone (released, or kept over a power
    // cycle): it is unregistered and this one registered again at once, instead of every
    // retry meeting it too. Once: if it comes back, the retries wait as for any refusal.
    if (*error == bluez::error::alreadyExists && !std::exchange(isClearingStale_, true)) {
        phase_ = Phase::unregistering;
        return {{Call::unregisterFrom, heldAdapter_}, isNew};
    }
    // Content the core has replaced since is worth a try at once.
    if (isLeaving_ || heldGeneration_ != generation_)
        return {reconcile(), isNew};
    return {retryLater(), isNew};
}

void Registration::forget(const std::optional<std::string>& adapter) {
    if (!adapter || *adapter == heldAdapter_)
        phase_ = Phase::idle;
}

void Registration::released() {
    if (phase_ == Phase::held)
        phase_ = Phase::idle;
}

Registration::Step Registration::reconcile() {
    if (phase_ == Phase::registering || phase_ == Phase::unregistering)
        return {};  // the reply decides
    if (phase_ == Phase::held &&
        (isLeaving_ || heldGeneration_ != generation_ || heldAdapter_ != adapter_)) {
        phase_ = Phase::unregistering;
        return {Call::unregisterFrom, heldAdapter_};
    }
    if (phase_ == Phase::idle && isWanted_ && !isLeaving_ && !isWaiting_ && adapter_) {
        phase_ = Phase::registering;
        heldAdapter_ = *adapter_;
        heldGeneration_ = generation_;
        return {Call::registerOn, heldAdapter_};
    }
    return {};
}

Registration::Step Registration::retryLater() {
    isWaiting_ = true;
    const auto delay = nextDelay_;
    nextDelay_ = std::min(nextDelay_ * 2, longestRetryDelay);
    return {Call::retryAfter, {}, delay};
}

}  // namespace quorla::platform::linux_

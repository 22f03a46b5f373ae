#include "app/app_delegate.hpp"
#include "automation/script_library.hpp"
#include "automation/status_probe.hpp"

namespace quorla::app {

namespace {

// Stores value into flag; true when that was a change.
bool update(bool& flag, bool value) {
    if (flag == value)
        return false;
    flag = value;
    return true;
}

}  // namespace

void AppDelegate::startPolling() {
    stopPolling();
    // The block holds the delegate strongly; stopPolling's invalidation lets it go.
    timer = platform_.mainQueue.scheduleRepeatingTimer(
        pollInterval, [self = shared_from_this()] { self->pollStatus(); });
}

void AppDelegate::stopPolling() {
    // Invalidating releases the timer's block, which may hold the last reference to this
    // delegate. Empty during teardown, when no block can hold one any more.
    const auto keepAlive = weak_from_this().lock();
    if (timer) {
        timer->invalidate();
        timer.reset();
    }
    session_.isConnected = false;
    session_.pushStatus();
    setStatusIcon(idleSymbolName);
}

void AppDelegate::pollStatus() {
    const auto status =
        automation::callCheckStatus(automation::ScriptLibrary::shared().checkStatusScript.get());

    bool changed = false;
    if (update(session_.isConnected, status.isConnected)) {
        updateStatusIcon(status.isConnected);
        changed = true;
    }
    changed |= update(session_.isMicActive, status.isMicActive);
    changed |= update(session_.isCameraActive, status.isCameraActive);
    changed |= update(session_.isActiveSelected, status.isActiveSelected);

    if (wasLastUpdateFromChange) {
        wasLastUpdateFromChange = false;
    } else if (!changed) {
        return;
    }
    session_.pushStatus();
}

void AppDelegate::handleRequestNotification() {
    // Queued rather than run during the post, so the poll comes after the whole batch of
    // writes has been carried out and answered.
    platform_.mainQueue.async([weakSelf = weak_from_this()] {
        auto self = weakSelf.lock();
        if (!self)
            return;
        self->pollStatus();
        self->wasLastUpdateFromChange = true;
    });
}

}  // namespace quorla::app

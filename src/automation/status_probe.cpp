#include "automation/status_probe.hpp"

#include "automation/meeting_client.hpp"

namespace quorla::automation {

namespace {

platform::AppleEvent checkStatusEvent() {
    platform::AppleEvent event;
    event.eventClass = appleScriptSuite;
    event.eventID = subroutineEvent;
    event.returnID = -1;      // kAutoGenerateReturnID
    event.transactionID = 0;  // kAnyTransactionID
    // The handler takes no arguments, so its name is the event's only parameter.
    event.textParameters[subroutineNameKeyword] = checkStatusHandler;
    return event;
}

}  // namespace

MenuStatus callCheckStatus(platform::Script* checkStatusScript) {
    if (!checkStatusScript)
        return {};
    const auto reply = checkStatusScript->executeAppleEvent(checkStatusEvent());
    if (!reply)
        return {};
    const auto flags = readBooleanList(*reply);
    // Anything but the handler's four flags means the reply is not what the handler returns.
    if (flags.size() != 4)
        return {};
    return {flags[0], flags[1], flags[2], flags[3]};
}

std::vector<bool> readBooleanList(const platform::EventDescriptor& reply) {
    std::vector<bool> flags;
    const long count = reply.numberOfItems();
    for (long index = 1; index <= count; ++index) {
        if (const auto item = reply.descriptorAtIndex(index))
            flags.push_back(item->booleanValue());
    }
    return flags;
}

}  // namespace quorla::automation

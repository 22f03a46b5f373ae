#include "bluetooth/write_request_handling.hpp"

#include <any>
#include <array>
#include <string_view>

#include "automation/meeting_client.hpp"
#include "automation/script_library.hpp"
#include "platform/notification_center.hpp"
#include "platform/scripting.hpp"
#include "protocol/request_message_key.hpp"
#include "protocol/request_notification.hpp"

namespace quorla::bluetooth {

namespace {

// Brings the client to the front, then sends it the request's shortcut through System
// Events: `keystroke "a" using {command down, shift down}`, or `using option down` for a
// single modifier.
std::string makeToggleScript(const Request& request) {
    const std::string handler(request.handler);
    const auto process = "process \"" + std::string(automation::clientProcessName) + "\"";
    std::string modifiers;
    for (const auto modifier : request.shortcut.modifiers)
        modifiers += (modifiers.empty() ? "" : ", ") + std::string(modifier) + " down";
    if (request.shortcut.modifiers.size() > 1)
        modifiers = "{" + modifiers + "}";
    std::string text;
    const auto line = [&text](std::size_t indent, std::string_view content) {
        text.append(indent, ' ').append(content).append("\n");
    };
    line(0, "on " + handler + "()");
    line(4, "tell application \"System Events\" to set frontmost of " + process + " to true");
    line(4, "tell application \"System Events\"");
    line(8, "tell " + process);
    line(12, "keystroke \"" + std::string(request.shortcut.key) + "\" using " + modifiers);
    line(8, "end tell");
    line(4, "end tell");
    line(4, "return true");
    line(0, "end " + handler);
    line(0, "");
    text.append(handler).append("()");
    return text;
}

const Request* findRequest(const platform::AttRequest& request,
                           const RequestCharacteristics& characteristics) {
    for (const auto& candidate : requests) {
        const auto& characteristic = characteristics.of(candidate.role);
        if (characteristic && characteristic == request.characteristic)
            return &candidate;
    }
    return nullptr;
}

void runScript(const std::string& text) {
    // The first request of a process builds the status probe's library, so that the
    // poll this request sets off finds it ready.
    automation::ScriptLibrary::shared();
    // Neither a failed creation nor a failed run changes what follows: the request is
    // still announced and answered.
    if (auto script = platform::scriptingEngine().createScript(text))
        script->execute();
}

void announce(protocol::RequestMessageKey message) {
    platform::NotificationCenter::defaultCenter().post(
        {protocol::requestNotificationName, {{protocol::requestMessageUserInfoKey, message}}});
}

void carryOut(const platform::AttRequest& request, const RequestCharacteristics& characteristics) {
    if (!request.value)
        return;
    const bool on = isSwitchOn(*request.value);
    const auto* route = findRequest(request, characteristics);
    if (!route)
        return;
    runScript(toggleScript(route->role));
    announce(on ? route->whenOn : route->whenOff);
}

}  // namespace

const std::string& toggleScript(CharacteristicRole role) {
    static const auto texts = [] {
        std::array<std::string, gattLayout.size()> built;
        for (const auto& request : requests)
            built[static_cast<std::size_t>(request.role)] = makeToggleScript(request);
        return built;
    }();
    return texts[static_cast<std::size_t>(role)];
}

const platform::CharacteristicRef& RequestCharacteristics::of(CharacteristicRole role) const {
    static const platform::CharacteristicRef none;
    switch (role) {
        case CharacteristicRole::mic:
            return mic;
        case CharacteristicRole::camera:
            return camera;
        case CharacteristicRole::hand:
            return hand;
        case CharacteristicRole::active:
            return active;
        case CharacteristicRole::status:
            break;
    }
    return none;
}

void handleWriteRequests(platform::PeripheralManager& manager,
                         const std::vector<platform::AttRequest>& requests,
                         const RequestCharacteristics& characteristics) {
    for (const auto& request : requests) {
        carryOut(request, characteristics);
        manager.respond(request, platform::AttResult::success);
    }
}

}  // namespace quorla::bluetooth

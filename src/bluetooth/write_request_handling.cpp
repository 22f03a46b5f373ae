#include "bluetooth/write_request_handling.hpp"

#include <any>
#include <array>
#include <string_view>

#include "automation/script_library.hpp"
#include "platform/notification_center.hpp"
#include "platform/scripting.hpp"
#include "protocol/request_message_key.hpp"
#include "protocol/request_notification.hpp"

namespace quorla::bluetooth {

namespace {

using protocol::RequestMessageKey;

// Brings the client to the front, then sends it one shortcut through System Events.
std::string makeToggleScript(std::string_view handler, std::string_view keystroke) {
    std::string text;
    const auto line = [&text](std::size_t indent, std::string_view content) {
        text.append(indent, ' ').append(content).append("\n");
    };
    line(0, "on " + std::string(handler) + "()");
    line(4, "tell application \"System Events\" to set frontmost of process \"zoom.us\" to true");
    line(4, "tell application \"System Events\"");
    line(8, "tell process \"zoom.us\"");
    line(12, keystroke);
    line(8, "end tell");
    line(4, "end tell");
    line(4, "return true");
    line(0, "end " + std::string(handler));
    line(0, "");
    text.append(handler).append("()");
    return text;
}

struct Route {
    platform::CharacteristicRef RequestCharacteristics::*characteristic;
    const std::string& (*script)();
    RequestMessageKey whenOn;
    RequestMessageKey whenOff;
};

// Compared in this order; the first match wins.
constexpr std::array<Route, 4> routes{{
    {&RequestCharacteristics::mic, toggleMicScript, RequestMessageKey::unmute,
     RequestMessageKey::mute},
    {&RequestCharacteristics::camera, toggleCameraScript, RequestMessageKey::activateCamera,
     RequestMessageKey::deactivateCamera},
    {&RequestCharacteristics::hand, toggleHandScript, RequestMessageKey::toggleHand,
     RequestMessageKey::toggleHand},
    {&RequestCharacteristics::active, toggleViewScript, RequestMessageKey::selectActive,
     RequestMessageKey::selectGallery},
}};

// Only the single byte "1" switches on; anything else, malformed UTF-8 included, is off,
// so no decoding is needed to tell the two apart.
bool isSwitchOn(const platform::Bytes& value) {
    return value == platform::Bytes{'1'};
}

const Route* findRoute(const platform::AttRequest& request,
                       const RequestCharacteristics& characteristics) {
    for (const auto& route : routes) {
        const auto& candidate = characteristics.*route.characteristic;
        if (candidate && candidate == request.characteristic)
            return &route;
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

void announce(RequestMessageKey message) {
    platform::NotificationCenter::defaultCenter().post(
        {protocol::requestNotificationName, {{protocol::requestMessageUserInfoKey, message}}});
}

void carryOut(const platform::AttRequest& request, const RequestCharacteristics& characteristics) {
    if (!request.value)
        return;
    const bool on = isSwitchOn(*request.value);
    const auto* route = findRoute(request, characteristics);
    if (!route)
        return;
    runScript(route->script());
    announce(on ? route->whenOn : route->whenOff);
}

}  // namespace

const std::string& toggleMicScript() {
    static const auto text =
        makeToggleScript("toggleMic", "keystroke \"a\" using {command down, shift down}");
    return text;
}

const std::string& toggleCameraScript() {
    static const auto text =
        makeToggleScript("toggleCamera", "keystroke \"v\" using {command down, shift down}");
    return text;
}

const std::string& toggleHandScript() {
    static const auto text = makeToggleScript("toggleHand", "keystroke \"y\" using option down");
    return text;
}

const std::string& toggleViewScript() {
    static const auto text =
        makeToggleScript("toggleView", "keystroke \"w\" using {command down, shift down}");
    return text;
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

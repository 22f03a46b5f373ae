#include "platform/linux/emulation/emulated_client.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <map>
#include <optional>
#include <stdexcept>

#include "automation/meeting_client.hpp"
#include "automation/menu_vocabulary.hpp"
#include "bluetooth/requests.hpp"
#include "platform/linux/emulation/script_reader.hpp"

namespace quorla::platform::linux_ {

namespace {

using automation::clientProcessName;

bool isLanguageKey(std::string_view key) {
    const auto keys = automation::menuLanguageKeys();
    return std::find(keys.begin(), keys.end(), key) != keys.end();
}

std::string describe(const std::string& key, const std::vector<std::string>& modifiers) {
    std::string text;
    for (const auto& modifier : modifiers) {
        if (!modifier.empty())
            text += static_cast<char>(std::toupper(static_cast<unsigned char>(modifier[0])));
        text += modifier.substr(std::min<std::size_t>(1, modifier.size())) + "+";
    }
    for (const char c : key)
        text += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

std::string clientLanguageList() {
    std::string list;
    for (const auto key : automation::menuLanguageKeys())
        list.append(list.empty() ? "" : " ").append(key);
    return list;
}

EmulatedClient::EmulatedClient(ClientState initial, std::ostream& trace)
    : state_(std::move(initial)), trace_(trace) {
    if (!isLanguageKey(state_.language))
        throw std::invalid_argument("unknown client language \"" + state_.language + "\"");
    state_.isInMeeting = state_.isInMeeting && state_.isRunning;
    state_.isHandRaised = state_.isHandRaised && state_.isInMeeting;
    if (state_.isRunning)
        processIdentifier_ = nextProcessIdentifier_++;
}

// The texts are fixed for the life of the process, so each is read once.
std::unique_ptr<platform::Script> EmulatedClient::createScript(std::string_view source) {
    auto found = readScripts_.find(source);
    if (found == readScripts_.end())
        found = readScripts_.emplace(source, readScript(source)).first;
    return makeScript(*this, found->second);
}

std::vector<platform::RunningApplication> EmulatedClient::runningApplications() const {
    if (!state_.isRunning)
        return {};
    return {application()};
}

EmulatedClient::ObserverToken EmulatedClient::addObserver(const std::string& name,
                                                          Observer observer) {
    return center_.addObserver(name, std::move(observer));
}

void EmulatedClient::removeObserver(ObserverToken token) {
    center_.removeObserver(token);
}

bool EmulatedClient::launch() {
    if (state_.isRunning)
        return false;
    state_.isRunning = true;
    processIdentifier_ = nextProcessIdentifier_++;
    note("launched, pid " + std::to_string(processIdentifier_));
    center_.post({platform::workspaceDidLaunchApplicationNotification,
                  {{platform::workspaceApplicationKey, application()}}});
    return true;
}

bool EmulatedClient::quit() {
    if (!state_.isRunning)
        return false;
    const auto quitting = application();
    state_.isRunning = false;
    state_.isInMeeting = false;
    state_.isHandRaised = false;
    note("quit");
    center_.post({platform::workspaceDidTerminateApplicationNotification,
                  {{platform::workspaceApplicationKey, quitting}}});
    return true;
}

bool EmulatedClient::joinMeeting() {
    if (!state_.isRunning || state_.isInMeeting)
        return false;
    state_.isInMeeting = true;
    note("meeting joined");
    return true;
}

bool EmulatedClient::leaveMeeting() {
    if (!state_.isInMeeting)
        return false;
    state_.isInMeeting = false;
    state_.isHandRaised = false;
    note("meeting left");
    return true;
}

bool EmulatedClient::toggleMic() {
    return toggle(&ClientState::isMicOn, "microphone on", "microphone off");
}

bool EmulatedClient::toggleCamera() {
    return toggle(&ClientState::isCameraOn, "camera on", "camera off");
}

bool EmulatedClient::toggleHand() {
    return toggle(&ClientState::isHandRaised, "hand raised", "hand lowered");
}

bool EmulatedClient::toggleView() {
    return toggle(&ClientState::isActiveSelected, "speaker view", "gallery view");
}

bool EmulatedClient::setLanguage(std::string_view key) {
    if (!isLanguageKey(key))
        return false;
    state_.language = key;
    note("language " + state_.language);
    return true;
}

// The menu offers the action that changes the current state, so it names the opposite of
// it: "Mute Audio" while the microphone is live, "Unmute Audio" while it is muted. Only the
// first of each pair is known in every language; the client's own words for the second
// ("Unmute Audio", "Start Video", "Speaker View") are known in English alone, so in any
// other language that item is left out rather than shown under a made-up title. The status
// probe reads both the same way: the item it looks for is absent.
std::vector<std::string> EmulatedClient::menuItems(std::string_view menuTitle) const {
    const auto titles = automation::selectMenuVocabulary({state_.language});
    if (!state_.isInMeeting || menuTitle != titles.meetingMenuTitle)
        return {};
    const bool isEnglish = state_.language == automation::menuLanguageKeys().front();
    std::vector<std::string> items{titles.keepOnTopTitle};
    const auto offer = [&](bool isOn, const std::string& onTitle, const char* englishOffTitle) {
        if (isOn)
            items.push_back(onTitle);
        else if (isEnglish)
            items.emplace_back(englishOffTitle);
    };
    offer(state_.isMicOn, titles.muteAudioTitle, "Unmute Audio");
    offer(state_.isCameraOn, titles.stopVideoTitle, "Start Video");
    offer(state_.isActiveSelected, titles.galleryViewTitle, "Speaker View");
    return items;
}

void EmulatedClient::receiveShortcut(std::string_view key,
                                     const std::vector<std::string>& modifiers) {
    static const std::map<bluetooth::CharacteristicRole, bool (EmulatedClient::*)()> actions{
        {bluetooth::CharacteristicRole::mic, &EmulatedClient::toggleMic},
        {bluetooth::CharacteristicRole::camera, &EmulatedClient::toggleCamera},
        {bluetooth::CharacteristicRole::hand, &EmulatedClient::toggleHand},
        {bluetooth::CharacteristicRole::active, &EmulatedClient::toggleView},
    };
    if (!state_.isRunning)
        return;  // System Events finds no such process; nothing is typed
    // The client's own shortcuts are the ones the agent's requests send.
    const auto held = [](auto names) {
        std::vector<std::string> sorted(names.begin(), names.end());
        std::sort(sorted.begin(), sorted.end());
        return sorted;
    };
    const auto found = std::find_if(bluetooth::requests.begin(), bluetooth::requests.end(),
                                    [&](const auto& request) {
                                        return request.shortcut.key == key &&
                                               held(request.shortcut.modifiers) == held(modifiers);
                                    });
    const auto description = describe(std::string(key), modifiers);
    if (found == bluetooth::requests.end())
        note(description + " ignored: not a shortcut of the client");
    else if (!state_.isInMeeting)
        note(description + " ignored: no meeting");
    else
        (this->*actions.at(found->role))();
}

bool EmulatedClient::toggle(bool ClientState::*flag, std::string_view onText,
                            std::string_view offText) {
    if (!state_.isInMeeting)
        return false;
    state_.*flag = !(state_.*flag);
    note(state_.*flag ? onText : offText);
    return true;
}

platform::RunningApplication EmulatedClient::application() const {
    return {processIdentifier_, std::string(clientProcessName)};
}

void EmulatedClient::note(std::string_view line) const {
    trace_ << "client: " << line << '\n' << std::flush;
}

}  // namespace quorla::platform::linux_

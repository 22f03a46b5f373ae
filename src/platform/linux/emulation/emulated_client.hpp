#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/notification_center.hpp"
#include "platform/scripting.hpp"
#include "platform/workspace.hpp"

namespace quorla::platform::linux_ {

struct ReadScript;

struct ClientState {
    bool isRunning = true;
    bool isInMeeting = false;
    bool isMicOn = false;
    bool isCameraOn = false;
    bool isHandRaised = false;
    bool isActiveSelected = false;  // active-speaker view current (menu offers "Gallery View")
    std::string language = "en";    // one of automation::menuLanguageKeys()
};

// The languages the client's menus can show, as their keys joined by spaces, for messages.
std::string clientLanguageList();

// The conferencing client "zoom.us" and the part of System Events that reaches it, for a
// system without either. Scripts are not interpreted: the client reads from a toggle
// script's text the shortcut it sends, and from a "checkStatus" text the menu titles it
// looks up, and answers as the real pair would. Workspace observers hear the client
// launch and quit during launch() and quit(), on the calling thread.
//
// Main thread only. Scripts hold a reference to the client, which must outlive them.
class EmulatedClient final : public platform::ScriptingEngine, public platform::Workspace {
  public:
    // A state that cannot be (a meeting without a running client, a raised hand outside
    // a meeting) is reduced to the nearest one that can. Throws std::invalid_argument for
    // a language key the client does not have.
    explicit EmulatedClient(ClientState initial, std::ostream& trace);

    // Each text is read once (script_reader.hpp) and kept for later scripts.
    std::unique_ptr<platform::Script> createScript(std::string_view source) override;

    std::vector<platform::RunningApplication> runningApplications() const override;
    ObserverToken addObserver(const std::string& name, Observer observer) override;
    void removeObserver(ObserverToken token) override;

    // The client's own side, as its user would act. Each writes one trace line; actions
    // that need a running client or a meeting return false and change nothing.
    bool launch();
    bool quit();
    bool joinMeeting();
    bool leaveMeeting();
    bool toggleMic();
    bool toggleCamera();
    bool toggleHand();
    bool toggleView();
    bool setLanguage(std::string_view key);  // false for an unknown key

    const ClientState& state() const { return state_; }

    // The items of the menu titled menuTitle in the client's menu bar, in its current
    // language; empty when there is no such menu.
    std::vector<std::string> menuItems(std::string_view menuTitle) const;

    // What a script run by System Events does to the client: the shortcut typed into
    // "zoom.us" (keystroke key, modifier names) takes effect when a meeting is on.
    void receiveShortcut(std::string_view key, const std::vector<std::string>& modifiers);

  private:
    bool toggle(bool ClientState::*flag, std::string_view onText, std::string_view offText);
    platform::RunningApplication application() const;
    void note(std::string_view line) const;

    ClientState state_;
    std::ostream& trace_;
    platform::NotificationCenter center_;
    std::int64_t processIdentifier_ = 0;
    std::int64_t nextProcessIdentifier_ = 4101;
    std::map<std::string, std::shared_ptr<const ReadScript>, std::less<>> readScripts_;
};

}  // namespace quorla::platform::linux_

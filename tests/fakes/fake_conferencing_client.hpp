#pragma once

#include <string>
#include <vector>

#include "automation/menu_vocabulary.hpp"

namespace quorla::fakes {

// What a meeting in progress shows in the client's meeting menu.
struct MeetingState {
    bool isMicOn = false;
    bool isCameraOn = false;
    bool isActiveSpeakerView = false;
};

// The client's titles in English, written out here rather than taken from the code under
// test, so that a test of the English titles does not check the code against itself.
inline automation::MenuVocabulary englishClientTitles() {
    return {"Meeting", "Keep on Top", "Mute Audio", "Stop Video", "Gallery View"};
}

// The conferencing client as System Events sees it: whether it runs, and its menu bar
// (menu bar 1, left to right, each menu with its direct items). A test sets the menus
// outright or through showMeeting, and may change them between two probes.
struct FakeConferencingClient {
    struct Menu {
        std::string title;
        std::vector<std::string> items;
    };

    // Running, in a meeting: one meeting menu with "Keep on Top", and "Mute Audio" while
    // the microphone is live, "Stop Video" while the camera is on, "Gallery View" while
    // the active-speaker view is current, in the given language.
    void showMeeting(MeetingState state,
                     const automation::MenuVocabulary& language = englishClientTitles()) {
        Menu meeting{language.meetingMenuTitle, {language.keepOnTopTitle}};
        if (state.isMicOn)
            meeting.items.push_back(language.muteAudioTitle);
        if (state.isCameraOn)
            meeting.items.push_back(language.stopVideoTitle);
        if (state.isActiveSpeakerView)
            meeting.items.push_back(language.galleryViewTitle);
        *this = {true, {std::move(meeting)}};
    }

    bool isRunning = false;
    std::vector<Menu> menuBar;
};

}  // namespace quorla::fakes

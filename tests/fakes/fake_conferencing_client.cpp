#include "fakes/fake_conferencing_client.hpp"

namespace quorla::fakes {

automation::MenuVocabulary englishClientTitles() {
    return {"Meeting", "Keep on Top", "Mute Audio", "Stop Video", "Gallery View"};
}

void FakeConferencingClient::showMeeting(MeetingState state,
                                         const automation::MenuVocabulary& language) {
    Menu meeting{language.meetingMenuTitle, {language.keepOnTopTitle}};
    if (state.isMicOn)
        meeting.items.push_back(language.muteAudioTitle);
    if (state.isCameraOn)
        meeting.items.push_back(language.stopVideoTitle);
    if (state.isActiveSpeakerView)
        meeting.items.push_back(language.galleryViewTitle);
    isRunning = true;
    menuBar = {std::move(meeting)};
}

}  // namespace quorla::fakes

#include "bluetooth/write_request_handling.hpp"

#include "fakes/fake_scripting_engine.hpp"
#include "session_fixture.hpp"

namespace quorla::bluetooth {
namespace {

using Bytes = platform::Bytes;
using Log = std::vector<std::string>;

// The script a toggle must be, from its table of indents and lines, joined by line feeds.
std::string toggleScript(const std::string& handler, const std::string& keystroke) {
    const std::pair<int, std::string> lines[] = {
        {0, "on " + handler + "()"},
        {4, R"(tell application "System Events" to set frontmost of process "zoom.us" to true)"},
        {4, R"(tell application "System Events")"},
        {8, R"(tell process "zoom.us")"},
        {12, keystroke},
        {8, "end tell"},
        {4, "end tell"},
        {4, "return true"},
        {0, "end " + handler},
        {0, ""},
        {0, handler + "()"},
    };
    std::string text;
    for (const auto& [indent, line] : lines)
        text += (text.empty() ? "" : "\n") + std::string(indent, ' ') + line;
    return text;
}

TEST(ToggleScripts, EachFrontsTheClientAndSendsItsOneShortcut) {
    const auto withCommandShift = [](char key) {
        return "keystroke \"" + std::string(1, key) + "\" using {command down, shift down}";
    };
    EXPECT_EQ(toggleMicScript(), toggleScript("toggleMic", withCommandShift('a')));
    EXPECT_EQ(toggleCameraScript(), toggleScript("toggleCamera", withCommandShift('v')));
    EXPECT_EQ(toggleHandScript(), toggleScript("toggleHand", R"(keystroke "y" using option down)"));
    EXPECT_EQ(toggleViewScript(), toggleScript("toggleView", withCommandShift('w')));
}

class WriteRequestHandling : public SessionTest {
  protected:
    void SetUp() override {
        SessionTest::SetUp();
        powerOn();
    }

    // What the log shows for routed requests, numbered on from first.
    static Log carriedOut(int first, std::vector<std::string> announcements,
                          const std::string& run = "script ran") {
        Log log;
        for (const auto& announcement : announcements)
            log.insert(log.end(),
                       {run, "announce " + announcement, "respond #" + std::to_string(first++)});
        return log;
    }

    fakes::FakeScriptingEngine& engine = fakes::FakeScriptingEngine::shared();
};

TEST_F(WriteRequestHandling, ABatchIsCarriedOutInOrderEachRequestAnsweredAfterItsAnnouncement) {
    const auto write = [](const platform::CharacteristicRef& to, char value) {
        return fakes::FakePeripheralManager::Write{to, Bytes{static_cast<std::uint8_t>(value)}};
    };
    radio->simulateWrites({write(session.micRequestCharacteristic, '1'),
                           write(session.cameraRequestCharacteristic, '0'),
                           write(session.handRequestCharacteristic, 'x'),
                           write(session.activeRequestCharacteristic, '1'),
                           write(session.cameraRequestCharacteristic, '1'),
                           write(session.handRequestCharacteristic, '1'),
                           write(session.activeRequestCharacteristic, '0'),
                           write(session.micRequestCharacteristic, '0')});
    EXPECT_EQ(log().entries(),
              carriedOut(1, {"unmute", "deactivateCamera", "toggleHand", "selectActive",
                             "activateCamera", "toggleHand", "selectGallery", "mute"}));
    EXPECT_EQ(engine.texts, (Log{toggleMicScript(), toggleCameraScript(), toggleHandScript(),
                                 toggleViewScript(), toggleCameraScript(), toggleHandScript(),
                                 toggleViewScript(), toggleMicScript()}));
}

TEST_F(WriteRequestHandling, OnlyTheSingleByteOneSwitchesOn) {
    for (const Bytes& value : {Bytes{}, Bytes{'0', '1'}, Bytes{'1', '\n'}, Bytes{'1', 0x00},
                               Bytes{0xFF}, Bytes{' ', '1'}}) {
        log().clear();
        radio->simulateWrites({{session.micRequestCharacteristic, value}});
        EXPECT_EQ(log().startingWith("announce"), Log{"announce mute"}) << fakes::hex(value);
    }
}

TEST_F(WriteRequestHandling, UnroutedOrValuelessRequestsAreAnsweredAndNothingElse) {
    const auto stranger = std::make_shared<const platform::Characteristic>(
        platform::Characteristic{session.micRequestCharacteristic->type, 0x16, 0x03});
    radio->simulateWrites({{session.statusCharacteristic, Bytes{'1'}},
                           {stranger, Bytes{'1'}},  // same UUID, but not this session's object
                           {session.micRequestCharacteristic, std::nullopt},
                           {nullptr, Bytes{'1'}}});
    BluetoothSessionManager unbuilt;
    fakes::FakePeripheralManager(unbuilt).simulateWrites(
        {{session.micRequestCharacteristic, Bytes{'1'}}});
    EXPECT_EQ(log().entries(),
              (Log{"respond #1", "respond #2", "respond #3", "respond #4", "respond #1"}));
    EXPECT_EQ(engine.texts, Log{});
}

TEST_F(WriteRequestHandling, AScriptThatCannotBeCreatedOrFailsStillLeadsToAnnouncementAndAnswer) {
    engine.failCreation = true;
    radio->simulateWrites({{session.cameraRequestCharacteristic, Bytes{'1'}}});
    EXPECT_EQ(log().entries(), (Log{"announce activateCamera", "respond #1"}));
    EXPECT_EQ(engine.texts, Log{toggleCameraScript()});
    log().clear();
    engine.failCreation = false;
    engine.failExecution = true;
    radio->simulateWrites({{session.cameraRequestCharacteristic, Bytes{0xFF}},
                           {session.activeRequestCharacteristic, Bytes{'1'}}});
    EXPECT_EQ(log().entries(),
              carriedOut(2, {"deactivateCamera", "selectActive"}, "script failed"));
}

}  // namespace
}  // namespace quorla::bluetooth

#include "bluetooth/write_request_handling.hpp"

#include <gtest/gtest.h>

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
    EXPECT_EQ(toggleMicScript(),
              toggleScript("toggleMic", R"(keystroke "a" using {command down, shift down})"));
    EXPECT_EQ(toggleCameraScript(),
              toggleScript("toggleCamera", R"(keystroke "v" using {command down, shift down})"));
    EXPECT_EQ(toggleHandScript(), toggleScript("toggleHand", R"(keystroke "y" using option down)"));
    EXPECT_EQ(toggleViewScript(),
              toggleScript("toggleView", R"(keystroke "w" using {command down, shift down})"));
}

class WriteRequestHandling : public SessionTest {
  protected:
    void SetUp() override {
        SessionTest::SetUp();
        powerOn();
    }

    // What the log shows for a routed request numbered id.
    static Log carriedOut(int id, const std::string& announcement, const char* run = "script ran") {
        return {run, "announce " + announcement, "respond #" + std::to_string(id)};
    }

    fakes::FakeScriptingEngine& engine = fakes::FakeScriptingEngine::shared();
};

TEST_F(WriteRequestHandling, ABatchIsCarriedOutInOrderEachRequestAnsweredAfterItsAnnouncement) {
    radio->simulateWrites({
        {session.micRequestCharacteristic, Bytes{'1'}},
        {session.cameraRequestCharacteristic, Bytes{'0'}},
        {session.handRequestCharacteristic, Bytes{'x'}},
        {session.micRequestCharacteristic, Bytes{'1'}},
    });
    Log expected;
    for (const auto& part : {carriedOut(1, "unmute"), carriedOut(2, "deactivateCamera"),
                             carriedOut(3, "toggleHand"), carriedOut(4, "unmute")})
        expected.insert(expected.end(), part.begin(), part.end());
    EXPECT_EQ(log().entries(), expected);
    EXPECT_EQ(engine.texts, (Log{toggleMicScript(), toggleCameraScript(), toggleHandScript(),
                                 toggleMicScript()}));
}

TEST_F(WriteRequestHandling, OnlyTheSingleByteOneSwitchesOn) {
    struct Route {
        platform::CharacteristicRef characteristic;
        const std::string& script;
        std::string on, off;
    };
    const Route routes[] = {
        {session.micRequestCharacteristic, toggleMicScript(), "unmute", "mute"},
        {session.cameraRequestCharacteristic, toggleCameraScript(), "activateCamera",
         "deactivateCamera"},
        {session.handRequestCharacteristic, toggleHandScript(), "toggleHand", "toggleHand"},
        {session.activeRequestCharacteristic, toggleViewScript(), "selectActive", "selectGallery"},
    };
    const Bytes offValues[] = {{'0'},       {},           {'0', '1'},
                               {'1', '\n'}, {'1', 0x00},  {'t', 'r', 'u', 'e'},
                               {0xFF},      {0xC3, 0x28}, {' ', '1'}};
    for (const auto& route : routes) {
        SCOPED_TRACE(route.on);
        for (const auto& value : offValues) {
            log().clear();
            radio->simulateWrites({{route.characteristic, value}});
            EXPECT_EQ(log().startingWith("announce"), Log{"announce " + route.off})
                << fakes::hex(value);
        }
        log().clear();
        engine.texts.clear();
        radio->simulateWrites({{route.characteristic, Bytes{'1'}}});
        EXPECT_EQ(log().startingWith("announce"), Log{"announce " + route.on});
        EXPECT_EQ(engine.texts, Log{route.script});
    }
}

TEST_F(WriteRequestHandling, UnroutedOrValuelessRequestsAreAnsweredAndNothingElse) {
    const auto stranger = std::make_shared<const platform::Characteristic>(
        platform::Characteristic{micRequestCharacteristicUUID(), 0x16, 0x03});
    radio->simulateWrites({
        {session.statusCharacteristic, Bytes{'1'}},
        {stranger, Bytes{'1'}},  // same UUID, but not the object this session created
        {session.micRequestCharacteristic, std::nullopt},
        {nullptr, Bytes{'1'}},
    });
    EXPECT_EQ(log().entries(), (Log{"respond #1", "respond #2", "respond #3", "respond #4"}));

    log().clear();
    BluetoothSessionManager unbuilt;
    fakes::FakePeripheralManager unbuiltRadio(unbuilt);
    unbuiltRadio.simulateWrites({{session.micRequestCharacteristic, Bytes{'1'}}});
    EXPECT_EQ(log().entries(), Log{"respond #1"});
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
    auto expected = carriedOut(2, "deactivateCamera", "script failed");
    const auto second = carriedOut(3, "selectActive", "script failed");
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(log().entries(), expected);
}

}  // namespace
}  // namespace quorla::bluetooth

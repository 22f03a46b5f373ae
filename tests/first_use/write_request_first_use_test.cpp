// The script library is process-wide and built once, so this file holds a single test: it
// needs a process in which nothing has built the library yet, however the tests are run.
#include <gtest/gtest.h>

#include "automation/script_library.hpp"
#include "automation/status_probe.hpp"
#include "bluetooth/bluetooth_session_manager.hpp"
#include "fakes/fake_peripheral_manager.hpp"
#include "fakes/fake_preferred_languages.hpp"
#include "fakes/fake_scripting_engine.hpp"
#include "fakes/fake_user_defaults.hpp"

namespace quorla::bluetooth {
namespace {

TEST(WriteRequestFirstUse, TheFirstRoutedRequestBuildsTheScriptLibraryThatProbesThenReuse) {
    auto& engine = fakes::FakeScriptingEngine::shared();
    auto& languages = fakes::FakePreferredLanguages::shared();
    languages.tags = {"fr-FR"};
    fakes::FakeUserDefaults::shared().setString("quorla.iCloudUserID", "abc");
    BluetoothSessionManager session;
    fakes::FakePeripheralManager radio(session);
    radio.simulateState(platform::ManagerState::poweredOn);

    radio.simulateWrites({{session.statusCharacteristic, platform::Bytes{'1'}}});
    EXPECT_EQ(languages.readCount, 0) << "an unrouted write builds nothing";

    fakes::CallLog::shared().clear();
    radio.simulateWrites({{session.micRequestCharacteristic, platform::Bytes{'1'}},
                          {session.cameraRequestCharacteristic, platform::Bytes{'1'}}});
    EXPECT_EQ(fakes::CallLog::shared().entries(),
              (std::vector<std::string>{"script compiled", "script ran", "respond #2", "script ran",
                                        "respond #3"}));

    // The titles stay those of the first build, whatever the languages say by now.
    languages.tags = {"de-DE"};
    engine.setClient({.isInMeeting = true, .isMicOn = true, .language = "fr"});
    EXPECT_EQ(
        automation::callCheckStatus(automation::ScriptLibrary::shared().checkStatusScript.get()),
        (automation::MenuStatus{true, true, false, false}));
    EXPECT_EQ(engine.texts.size(), 3u);
    EXPECT_EQ(languages.readCount, 1);
}

}  // namespace
}  // namespace quorla::bluetooth

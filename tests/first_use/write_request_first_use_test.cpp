// The script library is process-wide and built once, so this file holds a single test: it
// needs a process in which nothing has built the library yet, however the tests are run.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "automation/script_library.hpp"
#include "automation/status_probe.hpp"
#include "bluetooth/bluetooth_session_manager.hpp"
#include "bluetooth/identifiers.hpp"
#include "bluetooth/write_request_handling.hpp"
#include "fakes/fake_peripheral_manager.hpp"
#include "fakes/fake_preferred_languages.hpp"
#include "fakes/fake_scripting_engine.hpp"
#include "fakes/fake_user_defaults.hpp"

namespace quorla::bluetooth {
namespace {

using ::testing::ElementsAre;

TEST(WriteRequestFirstUse, TheFirstRoutedRequestBuildsTheScriptLibraryThatProbesThenReuse) {
    auto& engine = fakes::FakeScriptingEngine::shared();
    auto& languages = fakes::FakePreferredLanguages::shared();
    languages.tags = {"fr-FR"};
    fakes::FakeUserDefaults::shared().setString(iCloudUserIDDefaultsKey, "abc");
    BluetoothSessionManager session;
    fakes::FakePeripheralManager radio(session);
    radio.simulateState(platform::ManagerState::poweredOn);

    radio.simulateWrites({{session.statusCharacteristic, platform::Bytes{'1'}}});
    EXPECT_TRUE(engine.createdSources.empty()) << "an unrouted write builds nothing";
    EXPECT_EQ(languages.readCount, 0);

    radio.simulateWrites({{session.micRequestCharacteristic, platform::Bytes{'1'}},
                          {session.cameraRequestCharacteristic, platform::Bytes{'1'}}});
    ASSERT_EQ(engine.createdSources.size(), 3u);
    EXPECT_EQ(engine.createdSources[0].rfind("on checkStatus()", 0), 0u);
    EXPECT_NE(engine.createdSources[0].find("\"R\u00e9union\""), std::string::npos);
    EXPECT_THAT(engine.compiledSources, ElementsAre(engine.createdSources[0]));
    EXPECT_THAT(engine.executedSources, ElementsAre(toggleMicScript(), toggleCameraScript()));
    EXPECT_EQ(languages.readCount, 1);

    engine.client.showMeeting({.isMicOn = true}, automation::selectMenuVocabulary({"fr-CA"}));
    EXPECT_EQ(
        automation::callCheckStatus(automation::ScriptLibrary::shared().checkStatusScript.get()),
        (automation::MenuStatus{true, true, false, false}));
    EXPECT_EQ(engine.createdSources.size(), 3u);
    EXPECT_EQ(languages.readCount, 1);
}

}  // namespace
}  // namespace quorla::bluetooth

// The script library is process-wide and built once, so this file holds a single test: it
// needs a process in which nothing has built the library yet, however the tests are run.
#include <gtest/gtest.h>

#include "automation/script_library.hpp"
#include "automation/status_probe.hpp"
#include "fakes/fake_preferred_languages.hpp"
#include "fakes/fake_scripting_engine.hpp"

namespace quorla::automation {
namespace {

TEST(ScriptLibraryFirstUse, TheFirstProbeBuildsItOnceAndLaterProbesReuseIt) {
    auto& engine = fakes::FakeScriptingEngine::shared();
    auto& languages = fakes::FakePreferredLanguages::shared();
    languages.tags = {"en-US"};
    engine.client.showMeeting({.isMicOn = true});
    ASSERT_TRUE(engine.createdSources.empty());
    ASSERT_EQ(languages.readCount, 0);

    // A poll: make sure the library exists, then probe with its script.
    auto& library = ScriptLibrary::shared();
    EXPECT_EQ(languages.readCount, 1);
    ASSERT_EQ(engine.createdSources.size(), 1u);
    EXPECT_EQ(engine.compiledSources, engine.createdSources);
    EXPECT_EQ(callCheckStatus(library.checkStatusScript.get()),
              (MenuStatus{true, true, false, false}));

    // The titles stay those of the first build, whatever the languages say by now.
    languages.tags = {"de-DE"};
    engine.client.showMeeting({.isCameraOn = true});
    auto& again = ScriptLibrary::shared();
    EXPECT_EQ(&again, &library);
    EXPECT_EQ(callCheckStatus(again.checkStatusScript.get()),
              (MenuStatus{true, false, true, false}));
    EXPECT_EQ(languages.readCount, 1);
    EXPECT_EQ(engine.createdSources.size(), 1u);
    EXPECT_EQ(engine.compiledSources.size(), 1u);
    EXPECT_EQ(engine.executedEvents.size(), 2u);
}

}  // namespace
}  // namespace quorla::automation

// The script library is process-wide and built once, so this file holds a single test: it
// needs a process in which nothing has built the library yet, however the tests are run.
#include <gtest/gtest.h>

#include "automation/script_library.hpp"
#include "automation/status_probe.hpp"
#include "fakes/call_log.hpp"
#include "fakes/fake_preferred_languages.hpp"
#include "fakes/fake_scripting_engine.hpp"

namespace quorla::automation {
namespace {

TEST(ScriptLibraryFirstUse, TheFirstProbeBuildsItOnceAndLaterProbesReuseIt) {
    auto& engine = fakes::FakeScriptingEngine::shared();
    auto& languages = fakes::FakePreferredLanguages::shared();
    languages.tags = {"en-US"};
    engine.client.showMeeting({.isMicOn = true});

    auto& library = ScriptLibrary::shared();
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
    EXPECT_EQ(engine.texts.size(), 1u);
    EXPECT_EQ(fakes::CallLog::shared().entries(),
              (std::vector<std::string>{"script compiled", "checkStatus ran", "checkStatus ran"}));
}

}  // namespace
}  // namespace quorla::automation

#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/updater.hpp"

namespace quorla::fakes {

// The update framework, present or not. Its updaters record every call here and in the
// call log: "updater created", "updater feed <url or none>", "updater background check",
// "updater user check".
class FakeUpdateFramework {
  public:
    // None while isAvailable is off, as when the framework cannot be loaded.
    std::unique_ptr<platform::Updater> makeUpdater();

    bool isAvailable = true;
    std::vector<std::string> calls;

  private:
    void record(std::string call);

    friend class FakeUpdater;
};

}  // namespace quorla::fakes

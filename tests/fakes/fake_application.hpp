#pragma once

#include "fakes/call_log.hpp"
#include "platform/application.hpp"

namespace quorla::fakes {

// The application object. run only launches: the test plays the rest of the main loop
// through FakeMainQueue. Records "application terminate" in the call log.
class FakeApplication final : public platform::Application {
  public:
    int run(platform::ApplicationDelegate& delegate) override {
        delegate_ = &delegate;
        delegate.applicationDidFinishLaunching();
        return 0;
    }

    // The loop ends: the delegate hears that it is about to.
    void terminate() override {
        CallLog::shared().add("application terminate");
        if (delegate_)
            delegate_->applicationWillTerminate();
    }

  private:
    platform::ApplicationDelegate* delegate_ = nullptr;
};

}  // namespace quorla::fakes

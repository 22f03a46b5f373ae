#pragma once

namespace quorla::platform {

// What the application's main loop tells its delegate, on the main thread.
class ApplicationDelegate {
  public:
    virtual ~ApplicationDelegate() = default;

    virtual void applicationDidFinishLaunching() = 0;
    virtual void applicationWillTerminate() = 0;
};

class Application {
  public:
    virtual ~Application() = default;

    // Runs the main loop: the delegate hears applicationDidFinishLaunching once the loop
    // is up, and applicationWillTerminate before the loop ends. Returns the exit status.
    virtual int run(ApplicationDelegate& delegate) = 0;
    // Asks the main loop to end.
    virtual void terminate() = 0;
};

}  // namespace quorla::platform

#if !__has_feature(objc_arc)
#error "Build with -fobjc-arc"
#endif

#import <AppKit/AppKit.h>

#include "platform/apple/apple_platform.hpp"

// The application's delegate: forwards each lifecycle message to the core in one line.
@interface QuorlaApplicationDelegate : NSObject <NSApplicationDelegate>
- (instancetype)initWithDelegate:(quorla::platform::ApplicationDelegate*)delegate;
@end

@implementation QuorlaApplicationDelegate {
    quorla::platform::ApplicationDelegate* _delegate;
}

- (instancetype)initWithDelegate:(quorla::platform::ApplicationDelegate*)delegate {
    if ((self = [super init]))
        _delegate = delegate;
    return self;
}

- (void)applicationDidFinishLaunching:(NSNotification*)notification {
    _delegate->applicationDidFinishLaunching();
}

- (void)applicationWillTerminate:(NSNotification*)notification {
    _delegate->applicationWillTerminate();
}

@end

namespace quorla::platform::apple {
namespace {

class AppKitApplication final : public Application {
  public:
    AppKitApplication(int argc, const char** argv) : argc_(argc), argv_(argv) {}

    // NSApplicationMain ends the process itself once the application terminates.
    int run(ApplicationDelegate& delegate) override {
        // Attached before the main loop starts, so it hears the launch finish. The
        // application holds its delegate weakly.
        delegate_ = [[QuorlaApplicationDelegate alloc] initWithDelegate:&delegate];
        NSApplication.sharedApplication.delegate = delegate_;
        return NSApplicationMain(argc_, argv_);
    }

    void terminate() override { [NSApp terminate:nil]; }

  private:
    int argc_;
    const char** argv_;
    QuorlaApplicationDelegate* delegate_ = nil;
};

}  // namespace

std::unique_ptr<Application> makeApplication(int argc, const char** argv) {
    return std::make_unique<AppKitApplication>(argc, argv);
}

}  // namespace quorla::platform::apple

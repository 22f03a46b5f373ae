#if !__has_feature(objc_arc)
#error "Build with -fobjc-arc"
#endif

#import <AppKit/AppKit.h>
#import <dispatch/dispatch.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <map>
#include <memory>
#include <ostream>
#include <utility>
#include <vector>

#include "platform/apple/apple_platform.hpp"

namespace quorla::platform::apple {
namespace {
class SharedApplication;
}  // namespace
}  // namespace quorla::platform::apple

using quorla::platform::apple::SharedApplication;

// The application's delegate: forwards each lifecycle message to the adapter in one line.
@interface QuorlaApplicationDelegate : NSObject <NSApplicationDelegate>
- (instancetype)initWithApplication:(SharedApplication*)application;
@end

namespace quorla::platform::apple {
namespace {

// NSApplicationMain ends the process itself, at once, after applicationWillTerminate:.
// What the delegate sends on its way out (the status value with the meeting cleared) is
// then only queued. So the delegate hears applicationWillTerminate while AppKit waits
// (NSTerminateLater), and AppKit is let go once the holds have finished or the deadline
// has passed, as the Linux event loop does with its exit tasks.
class SharedApplication final : public AppKitApplication {
  public:
    SharedApplication(int argc, const char** argv, std::ostream& console)
        : argc_(argc), argv_(argv), console_(console) {}

    int run(ApplicationDelegate& delegate) override {
        delegate_ = &delegate;
        // Attached before the main loop starts, so it hears the launch finish. The
        // application holds its delegate weakly.
        appKitDelegate_ = [[QuorlaApplicationDelegate alloc] initWithApplication:this];
        NSApplication.sharedApplication.delegate = appKitDelegate_;
        quitOnSignal(SIGTERM, "SIGTERM");
        quitOnSignal(SIGINT, "SIGINT");
        return NSApplicationMain(argc_, argv_);
    }

    void terminate() override { [NSApp terminate:nil]; }

    std::uint64_t addTerminationHold(TerminationHold hold) override {
        const auto id = nextHoldId_++;
        holds_.emplace(id, std::move(hold));
        return id;
    }

    void removeTerminationHold(std::uint64_t id) override { holds_.erase(id); }

    void didFinishLaunching() { delegate_->applicationDidFinishLaunching(); }

    NSApplicationTerminateReply shouldTerminate() {
        // A second quit while one is held: the held one ends the agent within the deadline.
        if (phase_ != Phase::running)
            return NSTerminateCancel;
        phase_ = Phase::holding;
        tellWillTerminate();
        holdExit();
        // Every hold may have finished already.
        if (phase_ == Phase::released)
            return NSTerminateNow;
        isAppKitWaiting_ = true;
        return NSTerminateLater;
    }

    // AppKit asks applicationShouldTerminate: first; this is for any path that does not.
    void willTerminate() { tellWillTerminate(); }

  private:
    enum class Phase { running, holding, released };

    int argc_;
    const char** argv_;
    std::ostream& console_;
    ApplicationDelegate* delegate_ = nullptr;
    QuorlaApplicationDelegate* appKitDelegate_ = nil;
    std::map<std::uint64_t, TerminationHold> holds_;
    std::uint64_t nextHoldId_ = 1;
    Phase phase_ = Phase::running;
    bool hasToldWillTerminate_ = false;
    bool isAppKitWaiting_ = false;
    std::size_t pendingHolds_ = 0;
    NSTimer* deadline_ = nil;
    id<NSObject> activity_ = nil;
    std::vector<dispatch_source_t> signalSources_;

    // killall and Ctrl-C end a process at once, without the last notification, so the phone
    // would keep showing a meeting. Such a signal quits as the Quit item does instead. A
    // dispatch source only observes a signal: its default action, ending the process, is
    // turned off first.
    void quitOnSignal(int number, const char* name) {
        std::signal(number, SIG_IGN);
        dispatch_source_t source = dispatch_source_create(DISPATCH_SOURCE_TYPE_SIGNAL, number, 0,
                                                          dispatch_get_main_queue());
        dispatch_source_set_event_handler(source, ^{
          console_ << "quit: " << name << " received\n";
          terminate();
        });
        dispatch_resume(source);
        signalSources_.push_back(source);
    }

    void tellWillTerminate() {
        if (!std::exchange(hasToldWillTerminate_, true))
            delegate_->applicationWillTerminate();
    }

    void holdExit() {
        pendingHolds_ = holds_.size();
        console_ << "quit: holding the exit for " << pendingHolds_ << " task(s), at most "
                 << terminationDeadline.count() << " ms\n";
        if (pendingHolds_ == 0)
            return release("nothing to wait for");
        // App Nap would stretch the deadline of a windowless agent.
        activity_ = [NSProcessInfo.processInfo
            beginActivityWithOptions:NSActivityUserInitiatedAllowingIdleSystemSleep
                              reason:@"Work that must end before the agent quits"];
        // AppKit runs the loop in the modal-panel mode meanwhile, one of the common modes.
        deadline_ = [NSTimer
            timerWithTimeInterval:std::chrono::duration<double>(terminationDeadline).count()
                          repeats:NO
                            block:^(NSTimer*) {
                              release("the deadline passed");
                            }];
        [NSRunLoop.mainRunLoop addTimer:deadline_ forMode:NSRunLoopCommonModes];
        // Holds may finish at once, and remove themselves, so they run from a copy.
        auto holds = holds_;
        for (auto& [id, hold] : holds) {
            auto isFinished = std::make_shared<bool>(false);
            hold([this, isFinished] {
                if (!std::exchange(*isFinished, true) && phase_ == Phase::holding &&
                    --pendingHolds_ == 0)
                    release("every task finished");
            });
        }
    }

    void release(const char* reason) {
        if (phase_ != Phase::holding)
            return;
        phase_ = Phase::released;
        [deadline_ invalidate];
        deadline_ = nil;
        if (activity_)
            [NSProcessInfo.processInfo endActivity:activity_];
        activity_ = nil;
        console_ << "quit: " << reason << "; terminating\n";
        if (isAppKitWaiting_)
            [NSApp replyToApplicationShouldTerminate:YES];
    }
};

}  // namespace
}  // namespace quorla::platform::apple

@implementation QuorlaApplicationDelegate {
    SharedApplication* _application;
}

- (instancetype)initWithApplication:(SharedApplication*)application {
    if ((self = [super init]))
        _application = application;
    return self;
}

- (void)applicationDidFinishLaunching:(NSNotification*)notification {
    _application->didFinishLaunching();
}

- (NSApplicationTerminateReply)applicationShouldTerminate:(NSApplication*)sender {
    return _application->shouldTerminate();
}

- (void)applicationWillTerminate:(NSNotification*)notification {
    _application->willTerminate();
}

@end

namespace quorla::platform::apple {

std::unique_ptr<AppKitApplication> makeApplication(int argc, const char** argv,
                                                   std::ostream& console) {
    return std::make_unique<SharedApplication>(argc, argv, console);
}

}  // namespace quorla::platform::apple

#if !__has_feature(objc_arc)
#error "Build with -fobjc-arc"
#endif

#import <Foundation/Foundation.h>
#import <dispatch/dispatch.h>

#include "platform/apple/apple_platform.hpp"

namespace quorla::platform::apple {
namespace {

// A windowless agent is a candidate for App Nap, which may stretch a timer's interval
// many times over. A user-initiated activity keeps it from napping for as long as a
// repeating timer lives; idle system sleep stays allowed. It also rules out sudden and
// automatic termination meanwhile, so a logout still goes through the quit path.
id<NSObject> beginTimerActivity() {
    return [NSProcessInfo.processInfo
        beginActivityWithOptions:NSActivityUserInitiatedAllowingIdleSystemSleep
                          reason:@"A repeating timer must keep its interval"];
}

class RunLoopTimer final : public Timer {
  public:
    RunLoopTimer(Seconds interval, std::function<void()> block)
        : block_(std::make_shared<std::function<void()>>(std::move(block))),
          activity_(beginTimerActivity()) {
        auto held = block_;
        timer_ = [NSTimer timerWithTimeInterval:interval.count()
                                        repeats:YES
                                          block:^(NSTimer*) {
                                            // A copy, so a tick that invalidates its own
                                            // timer does not destroy what it runs.
                                            if (auto tick = *held)
                                                tick();
                                          }];
        // The common modes keep it ticking while the status menu is held open.
        [NSRunLoop.mainRunLoop addTimer:timer_ forMode:NSRunLoopCommonModes];
    }

    ~RunLoopTimer() override { invalidate(); }

    void invalidate() override {
        [timer_ invalidate];
        // NSTimer does not promise when it lets go of its block; what the block owns
        // goes now.
        *block_ = nullptr;
        if (activity_)
            [NSProcessInfo.processInfo endActivity:activity_];
        activity_ = nil;
    }

  private:
    std::shared_ptr<std::function<void()>> block_;
    id<NSObject> activity_;
    NSTimer* timer_ = nil;
};

class DispatchMainQueue final : public MainQueue {
  public:
    void async(std::function<void()> work) override {
        dispatch_async(dispatch_get_main_queue(), ^{
          work();
        });
    }

    std::unique_ptr<Timer> scheduleRepeatingTimer(Seconds interval,
                                                  std::function<void()> block) override {
        return std::make_unique<RunLoopTimer>(interval, std::move(block));
    }
};

}  // namespace

std::unique_ptr<MainQueue> makeDispatchMainQueue() {
    return std::make_unique<DispatchMainQueue>();
}

}  // namespace quorla::platform::apple

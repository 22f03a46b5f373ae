#if !__has_feature(objc_arc)
#error "Build with -fobjc-arc"
#endif

#import <Foundation/Foundation.h>
#import <Sparkle/Sparkle.h>

#include "platform/apple/apple_platform.hpp"
#include "platform/apple/foundation_text.h"

// Hands Sparkle the feed the core chose; none leaves Sparkle to SUFeedURL in Info.plist.
@interface QuorlaUpdaterDelegate : NSObject <SPUUpdaterDelegate>
@property(nonatomic, copy, nullable) NSString* feedURLString;
@end

@implementation QuorlaUpdaterDelegate

- (nullable NSString*)feedURLStringForUpdater:(SPUUpdater*)updater {
    return self.feedURLString;
}

@end

namespace quorla::platform::apple {
namespace {

class SparkleUpdater final : public Updater {
  public:
    explicit SparkleUpdater(Class controllerClass)
        : delegate_([[QuorlaUpdaterDelegate alloc] init]),
          controller_([[controllerClass alloc] initWithStartingUpdater:NO
                                                       updaterDelegate:delegate_
                                                    userDriverDelegate:nil]) {}

    void setFeedURL(std::optional<std::string> url) override {
        delegate_.feedURLString = url ? toNSString(*url) : nil;
    }

    void checkForUpdatesInBackground() override {
        start();
        [controller_.updater checkForUpdatesInBackground];
    }

    void checkForUpdates() override {
        start();
        [controller_ checkForUpdates:nil];
    }

  private:
    // The controller holds its delegate weakly.
    QuorlaUpdaterDelegate* delegate_;
    SPUStandardUpdaterController* controller_;
    bool isStarted_ = false;

    // Started on first use only, so that Sparkle reads the feed set before it.
    void start() {
        if (isStarted_)
            return;
        [controller_ startUpdater];
        isStarted_ = true;
    }
};

}  // namespace

// Sparkle is weakly linked: when Sparkle.framework is missing from the bundle's
// Frameworks folder, its classes are absent and so is the updater.
std::unique_ptr<Updater> makeSparkleUpdater() {
    Class controllerClass = NSClassFromString(@"SPUStandardUpdaterController");
    if (!controllerClass)
        return nullptr;
    return std::make_unique<SparkleUpdater>(controllerClass);
}

}  // namespace quorla::platform::apple

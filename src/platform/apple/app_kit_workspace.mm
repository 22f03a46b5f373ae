#if !__has_feature(objc_arc)
#error "Build with -fobjc-arc"
#endif

#import <AppKit/AppKit.h>

#include <unordered_map>

#include "platform/apple/apple_platform.hpp"
#include "platform/apple/foundation_text.h"

namespace quorla::platform::apple {
namespace {

RunningApplication toRunningApplication(NSRunningApplication* application) {
    RunningApplication translated{application.processIdentifier, std::nullopt};
    if (NSString* name = application.localizedName)
        translated.localizedName = toString(name);
    return translated;
}

// The user info carries the application only when it is one; anything else the core
// would ignore, so it is left out.
Notification toNotification(NSNotification* notification) {
    Notification translated{toString(notification.name), {}};
    id application = notification.userInfo[NSWorkspaceApplicationKey];
    if ([application isKindOfClass:[NSRunningApplication class]])
        translated.userInfo.emplace(workspaceApplicationKey, toRunningApplication(application));
    return translated;
}

class SharedWorkspace final : public Workspace {
  public:
    ~SharedWorkspace() override {
        for (const auto& [token, observer] : observers_)
            [NSWorkspace.sharedWorkspace.notificationCenter removeObserver:observer];
    }

    std::vector<RunningApplication> runningApplications() const override {
        std::vector<RunningApplication> applications;
        for (NSRunningApplication* application in NSWorkspace.sharedWorkspace.runningApplications)
            applications.push_back(toRunningApplication(application));
        return applications;
    }

    ObserverToken addObserver(const std::string& name, Observer observer) override {
        id<NSObject> registration = [NSWorkspace.sharedWorkspace.notificationCenter
            addObserverForName:toNSString(name)
                        object:nil
                         queue:NSOperationQueue.mainQueue
                    usingBlock:^(NSNotification* notification) {
                      observer(toNotification(notification));
                    }];
        const auto token = nextToken_++;
        observers_.emplace(token, registration);
        return token;
    }

    void removeObserver(ObserverToken token) override {
        const auto found = observers_.find(token);
        if (found == observers_.end())
            return;
        [NSWorkspace.sharedWorkspace.notificationCenter removeObserver:found->second];
        observers_.erase(found);
    }

  private:
    std::unordered_map<ObserverToken, id<NSObject>> observers_;
    ObserverToken nextToken_ = 1;
};

}  // namespace

std::unique_ptr<Workspace> makeSharedWorkspace() {
    return std::make_unique<SharedWorkspace>();
}

}  // namespace quorla::platform::apple

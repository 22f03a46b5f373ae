#if !__has_feature(objc_arc)
#error "Build with -fobjc-arc"
#endif

#import <AppKit/AppKit.h>

#include "platform/apple/apple_platform.hpp"
#include "platform/apple/foundation_text.h"

// A menu item's target: runs the core's action. NSMenuItem holds its target weakly, so
// the item keeps this alive as its represented object.
@interface QuorlaMenuAction : NSObject
- (instancetype)initWithAction:(std::function<void()>)action;
- (void)perform:(id)sender;
@end

@implementation QuorlaMenuAction {
    std::function<void()> _action;
}

- (instancetype)initWithAction:(std::function<void()>)action {
    if ((self = [super init]))
        _action = std::move(action);
    return self;
}

- (void)perform:(id)sender {
    _action();
}

@end

namespace quorla::platform::apple {
namespace {

class AppKitStatusBarButton final : public StatusBarButton {
  public:
    explicit AppKitStatusBarButton(NSStatusBarButton* button) : button_(button) {}

    // VoiceOver reads an image-only button by its image's accessibility description. A
    // symbol that this macOS lacks comes back as nil, which would leave the button blank
    // and the agent unreachable: the name stands in for it.
    void setSymbolImage(const std::string& symbolName) override {
        NSImage* image = [NSImage imageWithSystemSymbolName:toNSString(symbolName)
                                   accessibilityDescription:@"Quorla"];
        button_.image = image;
        button_.title = image ? @"" : @"Quorla";
    }

  private:
    NSStatusBarButton* button_;
};

NSMenuItem* toNSMenuItem(const MenuItem& item) {
    if (item.isSeparator)
        return [NSMenuItem separatorItem];
    QuorlaMenuAction* action = [[QuorlaMenuAction alloc] initWithAction:item.action];
    NSMenuItem* made = [[NSMenuItem alloc] initWithTitle:toNSString(item.title)
                                                  action:@selector(perform:)
                                           keyEquivalent:@""];
    made.target = action;
    made.representedObject = action;
    return made;
}

class AppKitStatusItem final : public StatusItem {
  public:
    AppKitStatusItem()
        : item_([NSStatusBar.systemStatusBar statusItemWithLength:NSVariableStatusItemLength]) {
        if (NSStatusBarButton* button = item_.button)
            button_ = std::make_unique<AppKitStatusBarButton>(button);
    }

    ~AppKitStatusItem() override { [NSStatusBar.systemStatusBar removeStatusItem:item_]; }

    StatusBarButton* button() override { return button_.get(); }

    void setMenu(Menu menu) override {
        NSMenu* made = [[NSMenu alloc] initWithTitle:@""];
        for (const auto& item : menu.items)
            [made addItem:toNSMenuItem(item)];
        item_.menu = made;
    }

  private:
    NSStatusItem* item_;
    std::unique_ptr<AppKitStatusBarButton> button_;
};

class SystemStatusBar final : public StatusBar {
  public:
    std::unique_ptr<StatusItem> makeVariableLengthItem() override {
        return std::make_unique<AppKitStatusItem>();
    }
};

}  // namespace

std::unique_ptr<StatusBar> makeSystemStatusBar() {
    return std::make_unique<SystemStatusBar>();
}

}  // namespace quorla::platform::apple

#if !__has_feature(objc_arc)
#error "Build with -fobjc-arc"
#endif

#import <ApplicationServices/ApplicationServices.h>
#import <Foundation/Foundation.h>

#include "platform/apple/apple_platform.hpp"

namespace quorla::platform::apple {

void requestAccessibilityTrust() {
    // The system shows its prompt only while the process is not trusted.
    NSDictionary* options = @{(__bridge NSString*)kAXTrustedCheckOptionPrompt : @YES};
    AXIsProcessTrustedWithOptions((__bridge CFDictionaryRef)options);
}

}  // namespace quorla::platform::apple

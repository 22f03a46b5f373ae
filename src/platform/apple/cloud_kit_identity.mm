#if !__has_feature(objc_arc)
#error "Build with -fobjc-arc"
#endif

#import <CloudKit/CloudKit.h>
#import <Security/Security.h>

#include "platform/apple/apple_platform.hpp"
#include "platform/apple/foundation_text.h"

namespace quorla::platform::apple {
namespace {

// Whether the signature grants CloudKit, as a release signed with its profile does and an
// ad-hoc-signed development build does not.
bool isEntitledToCloudKit() {
    SecTaskRef task = SecTaskCreateFromSelf(nullptr);
    if (!task)
        return false;
    id services = CFBridgingRelease(SecTaskCopyValueForEntitlement(
        task, (__bridge CFStringRef) @"com.apple.developer.icloud-services", nullptr));
    CFRelease(task);
    return [services isKindOfClass:[NSArray class]] && [services containsObject:@"CloudKit"];
}

class CloudKitIdentity final : public CloudIdentity {
  public:
    void fetchUserRecordID(std::string_view containerIdentifier, Completion completion) override {
        // Without the entitlement, CloudKit may stop the process with a trap that no
        // @catch sees, so it is not asked at all.
        if (!isEntitledToCloudKit()) {
            completion(std::nullopt, CloudError{"iCloud lookup skipped: this build's signature "
                                                "does not grant CloudKit "
                                                "(com.apple.developer.icloud-services); using "
                                                "the stored record name"});
            return;
        }
        CKContainer* container = nil;
        // CloudKit throws when the container is not among those the process is entitled
        // to; that is a failed lookup like any other.
        @try {
            container = [CKContainer containerWithIdentifier:toNSString(containerIdentifier)];
        } @catch (NSException* exception) {
            completion(std::nullopt, CloudError{toString(exception.reason)});
            return;
        }
        [container fetchUserRecordIDWithCompletionHandler:^(CKRecordID* recordID, NSError* error) {
          std::optional<UserRecordID> translatedID;
          if (recordID)
              translatedID = UserRecordID{toString(recordID.recordName)};
          std::optional<CloudError> translatedError;
          if (error)
              translatedError = CloudError{toString(error.localizedDescription)};
          completion(std::move(translatedID), std::move(translatedError));
        }];
    }
};

}  // namespace

std::unique_ptr<CloudIdentity> makeCloudKitIdentity() {
    return std::make_unique<CloudKitIdentity>();
}

}  // namespace quorla::platform::apple

#if !__has_feature(objc_arc)
#error "Build with -fobjc-arc"
#endif

#import <CloudKit/CloudKit.h>

#include "platform/apple/apple_platform.hpp"
#include "platform/apple/foundation_text.h"

namespace quorla::platform::apple {
namespace {

class CloudKitIdentity final : public CloudIdentity {
  public:
    void fetchUserRecordID(std::string_view containerIdentifier, Completion completion) override {
        CKContainer* container = nil;
        // CloudKit throws when the process lacks the container's entitlement, as an
        // ad-hoc-signed development build does; that is a failed lookup like any other.
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

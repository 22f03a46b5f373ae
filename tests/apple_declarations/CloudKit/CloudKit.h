// Declarations of the CloudKit classes and methods the macOS adapters use, with the
// selectors and types of Apple's CloudKit documentation. Only for the syntax-only check
// on machines without Apple's SDK; never used for a real build.
#pragma once

#include <Foundation/Foundation.h>

#pragma clang assume_nonnull begin

@interface CKRecordID : NSObject
@property(nonatomic, readonly, strong) NSString* recordName;
@end

@interface CKContainer : NSObject
+ (CKContainer*)containerWithIdentifier:(NSString*)containerIdentifier;
- (void)fetchUserRecordIDWithCompletionHandler:
    (void (^)(CKRecordID* _Nullable recordID, NSError* _Nullable error))completionHandler;
@end

#pragma clang assume_nonnull end

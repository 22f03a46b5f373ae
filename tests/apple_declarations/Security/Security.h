// Declarations of the code-signing task calls the macOS adapters make, with the names and
// types of Apple's Security documentation (SecTaskCreateFromSelf,
// SecTaskCopyValueForEntitlement). Only for the syntax-only check on machines without
// Apple's SDK; never used for a real build.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

extern "C" {
typedef struct __SecTask* SecTaskRef;

SecTaskRef _Nullable SecTaskCreateFromSelf(CFAllocatorRef _Nullable allocator);
CFTypeRef _Nullable SecTaskCopyValueForEntitlement(SecTaskRef _Nonnull task,
                                                   CFStringRef _Nonnull entitlement,
                                                   CFErrorRef _Nullable* _Nullable error);
}

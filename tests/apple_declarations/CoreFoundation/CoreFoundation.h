// Declarations of the Core Foundation types and calls the macOS adapters use, with the
// names and types of Apple's Core Foundation documentation. Only for the syntax-only check
// on machines without Apple's SDK; never used for a real build.
#pragma once

#include <objc/objc_base.h>

extern "C" {
typedef const void* CFTypeRef;
typedef const struct __CFString* CFStringRef;
typedef const struct __CFDictionary* CFDictionaryRef;
typedef const struct __CFAllocator* CFAllocatorRef;
typedef struct __CFError* CFErrorRef;

void CFRelease(CFTypeRef cf);
}

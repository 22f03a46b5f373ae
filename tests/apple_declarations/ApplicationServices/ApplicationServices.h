// Declarations of the Accessibility trust check the macOS entry makes, with the names and
// types of Apple's documentation (AXIsProcessTrustedWithOptions,
// kAXTrustedCheckOptionPrompt), and the Core Foundation types it takes. Only for the
// syntax-only check on machines without Apple's SDK; never used for a real build.
#pragma once

#include <objc/objc_base.h>

extern "C" {
typedef const struct __CFString* CFStringRef;
typedef const struct __CFDictionary* CFDictionaryRef;

extern const CFStringRef kAXTrustedCheckOptionPrompt;
Boolean AXIsProcessTrustedWithOptions(CFDictionaryRef options);
}

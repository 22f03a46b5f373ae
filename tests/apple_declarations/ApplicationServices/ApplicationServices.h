// Declarations of the Accessibility trust check the macOS entry makes, with the names and
// types of Apple's documentation (AXIsProcessTrustedWithOptions,
// kAXTrustedCheckOptionPrompt). Only for the syntax-only check on machines without
// Apple's SDK; never used for a real build.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

extern "C" {
extern const CFStringRef kAXTrustedCheckOptionPrompt;
Boolean AXIsProcessTrustedWithOptions(CFDictionaryRef options);
}

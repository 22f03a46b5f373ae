// The Objective-C language basics that Apple's headers provide through <objc/objc.h>,
// <objc/NSObject.h> and <Foundation/NSObjCRuntime.h>, for the syntax-only check.
#pragma once

#include <stdint.h>
#include <sys/types.h>

typedef long NSInteger;
typedef unsigned long NSUInteger;
typedef double CGFloat;
typedef bool BOOL;
#define YES __objc_yes
#define NO __objc_no
#define nil nullptr
typedef unsigned char Boolean;
typedef uint32_t UInt32;
typedef int16_t SInt16;
typedef int32_t SInt32;
typedef UInt32 FourCharCode;
typedef double NSTimeInterval;

#pragma clang assume_nonnull begin

@protocol NSObject
- (BOOL)isEqual:(id)object;
- (BOOL)isKindOfClass:(Class)aClass;
@end

__attribute__((objc_root_class))
@interface NSObject<NSObject>
+ (instancetype)alloc;
+ (Class)class;
- (instancetype)init;
@end

#pragma clang assume_nonnull end

// Text between the core's UTF-8 strings and Foundation's NSString. Objective-C++ only.
#pragma once

#import <Foundation/Foundation.h>

#include <string>
#include <string_view>

namespace quorla::platform::apple {

// The empty string for bytes that are not UTF-8, rather than a nil that would throw
// when put in a collection.
inline NSString* toNSString(std::string_view text) {
    NSString* string = [[NSString alloc] initWithBytes:text.data()
                                                length:text.size()
                                              encoding:NSUTF8StringEncoding];
    return string ? string : @"";
}

// Nil reads as the empty string.
inline std::string toString(NSString* string) {
    const char* text = string.UTF8String;
    return text ? std::string(text) : std::string();
}

}  // namespace quorla::platform::apple

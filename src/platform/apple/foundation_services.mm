#if !__has_feature(objc_arc)
#error "Build with -fobjc-arc"
#endif

#import <Foundation/Foundation.h>

#include "platform/apple/foundation_text.h"
#include "platform/preferred_languages.hpp"
#include "platform/user_defaults.hpp"

namespace quorla::platform {
namespace {

using apple::toNSString;
using apple::toString;

class StandardUserDefaults final : public UserDefaults {
  public:
    std::optional<std::string> stringForKey(std::string_view key) const override {
        // stringForKey: would turn a stored number into text; the port wants text only.
        id value = [NSUserDefaults.standardUserDefaults objectForKey:toNSString(key)];
        if (![value isKindOfClass:[NSString class]])
            return std::nullopt;
        return toString(value);
    }

    bool boolForKey(std::string_view key) const override {
        return [NSUserDefaults.standardUserDefaults boolForKey:toNSString(key)];
    }
    void setString(std::string_view key, std::string value) override {
        [NSUserDefaults.standardUserDefaults setObject:toNSString(value) forKey:toNSString(key)];
    }
};

}  // namespace

UserDefaults& standardUserDefaults() {
    static auto* defaults = new StandardUserDefaults;  // lives until the process ends
    return *defaults;
}

std::vector<std::string> preferredLanguages() {
    std::vector<std::string> tags;
    for (NSString* tag in NSLocale.preferredLanguages)
        tags.push_back(toString(tag));
    return tags;
}

}  // namespace quorla::platform

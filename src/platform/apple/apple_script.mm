#if !__has_feature(objc_arc)
#error "Build with -fobjc-arc"
#endif

#import <Foundation/Foundation.h>

#include "automation/meeting_client.hpp"
#include "platform/apple/foundation_text.h"
#include "platform/scripting.hpp"

namespace quorla::platform {
namespace {

using apple::toNSString;
using automation::subroutineNameKeyword;

// TN2084: "the routine name must be in lower case". AppleScript identifiers ignore case,
// so the lowercased name reaches the handler however the script spells it.
NSAppleEventDescriptor* parameterDescriptor(FourCharCode keyword, const std::string& text) {
    NSString* string = toNSString(text);
    return [NSAppleEventDescriptor
        descriptorWithString:keyword == subroutineNameKeyword ? string.lowercaseString : string];
}

class AppleEventReply final : public EventDescriptor {
  public:
    explicit AppleEventReply(NSAppleEventDescriptor* descriptor) : descriptor_(descriptor) {}

    long numberOfItems() const override { return descriptor_.numberOfItems; }

    std::unique_ptr<EventDescriptor> descriptorAtIndex(long index) const override {
        NSAppleEventDescriptor* item = [descriptor_ descriptorAtIndex:index];
        return item ? std::make_unique<AppleEventReply>(item) : nullptr;
    }

    bool booleanValue() const override { return descriptor_.booleanValue; }

  private:
    NSAppleEventDescriptor* descriptor_;
};

class AppleScript final : public Script {
  public:
    explicit AppleScript(NSAppleScript* script) : script_(script) {}

    void compile() override { [script_ compileAndReturnError:nil]; }

    void execute() override { [script_ executeAndReturnError:nil]; }

    std::unique_ptr<EventDescriptor> executeAppleEvent(const AppleEvent& event) override {
        NSAppleEventDescriptor* made =
            [NSAppleEventDescriptor appleEventWithEventClass:event.eventClass
                                                     eventID:event.eventID
                                            targetDescriptor:nil
                                                    returnID:event.returnID
                                               transactionID:event.transactionID];
        // As Apple event parameters, as TN2084 adds the handler's name and arguments.
        for (const auto& [keyword, text] : event.textParameters)
            [made setParamDescriptor:parameterDescriptor(keyword, text) forKeyword:keyword];
        NSDictionary<NSString*, id>* errorInfo = nil;
        NSAppleEventDescriptor* reply = [script_ executeAppleEvent:made error:&errorInfo];
        return reply ? std::make_unique<AppleEventReply>(reply) : nullptr;
    }

  private:
    NSAppleScript* script_;
};

class AppleScriptEngine final : public ScriptingEngine {
  public:
    std::unique_ptr<Script> createScript(std::string_view source) override {
        NSAppleScript* script = [[NSAppleScript alloc] initWithSource:toNSString(source)];
        return script ? std::make_unique<AppleScript>(script) : nullptr;
    }
};

}  // namespace

ScriptingEngine& scriptingEngine() {
    static auto* engine = new AppleScriptEngine;  // lives until the process ends
    return *engine;
}

}  // namespace quorla::platform

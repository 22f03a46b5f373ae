#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace quorla::platform {

using FourCharCode = std::uint32_t;

// A four-character code is its four ASCII characters read as a big-endian number.
constexpr FourCharCode fourCharCode(const char (&code)[5]) {
    return static_cast<FourCharCode>(static_cast<unsigned char>(code[0])) << 24 |
           static_cast<FourCharCode>(static_cast<unsigned char>(code[1])) << 16 |
           static_cast<FourCharCode>(static_cast<unsigned char>(code[2])) << 8 |
           static_cast<FourCharCode>(static_cast<unsigned char>(code[3]));
}

struct AppleEvent {
    FourCharCode eventClass = 0;
    FourCharCode eventID = 0;
    std::int16_t returnID = 0;
    std::int32_t transactionID = 0;
    // Unicode-text parameters by keyword; the only kind of parameter the agent sends.
    std::map<FourCharCode, std::string> textParameters;
};

// A reply as the scripting service hands it back, read as a list.
class EventDescriptor {
  public:
    virtual ~EventDescriptor() = default;

    virtual long numberOfItems() const = 0;
    // 1-based; none when there is no item at that index.
    virtual std::unique_ptr<EventDescriptor> descriptorAtIndex(long index) const = 0;
    // False when the descriptor cannot be read as a Boolean.
    virtual bool booleanValue() const = 0;
};

class Script {
  public:
    virtual ~Script() = default;

    // Outcomes are not reported: a script that failed to compile fails when run.
    virtual void compile() = 0;
    // Runs the script's top level to completion before returning.
    virtual void execute() = 0;
    // Runs to completion; none on any failure.
    virtual std::unique_ptr<EventDescriptor> executeAppleEvent(const AppleEvent& event) = 0;
};

class ScriptingEngine {
  public:
    virtual ~ScriptingEngine() = default;

    // None when the service cannot make a script object of the text.
    virtual std::unique_ptr<Script> createScript(std::string_view source) = 0;
};

// The process's scripting service, defined by the platform adapter linked in.
ScriptingEngine& scriptingEngine();

}  // namespace quorla::platform

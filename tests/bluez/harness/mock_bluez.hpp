#pragma once

#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/linux/sd_owners.hpp"

namespace quorla::testing {

class ChildProcess;
class PrivateBus;

// mock_bluez.py on a private bus, and the test's hands on it: adapters, "bluetoothd"
// restarts, reply delays, and the central's reads, writes and subscriptions. The mock dies
// with the test.
//
// Every call is made asynchronously on `event` and the harness runs that loop until the
// reply arrives (deadline 5 s, then it throws), so code under test on the same loop keeps
// being served while a call is in flight: a ReadValue from the central reaches the
// application and its answer comes back. Calls must not be made from inside a handler
// that the loop is dispatching.
class MockBluez {
  public:
    // event: the loop the code under test runs on; nullptr gives the harness a loop of its
    // own (for a test whose code under test is another process). Returns once the mock owns
    // both of its names (deadline 10 s).
    MockBluez(const PrivateBus& bus, sd_event* event);
    ~MockBluez();
    MockBluez(const MockBluez&) = delete;
    MockBluez& operator=(const MockBluez&) = delete;

    sd_event* event() const { return event_; }

    nlohmann::json state();
    void addAdapter(const std::string& name, bool powered = true);
    void removeAdapter(const std::string& name);
    void setPowered(const std::string& name, bool powered);
    void stopDaemon();
    void startDaemon();
    void setReplyDelay(std::chrono::milliseconds delay);

    // The central's side. Each returns {"value": "HEX"} or {} on success, {"error": name}
    // when the application answered with an error.
    nlohmann::json readValue(const std::string& uuid, std::uint16_t offset = 0);
    nlohmann::json writeValue(const std::string& uuid, const std::vector<std::uint8_t>& value);
    nlohmann::json startNotify(const std::string& uuid);
    nlohmann::json stopNotify(const std::string& uuid);
    // kind: "offset-type" (a ReadValue whose offset is a string) or "signature" (a ReadValue
    // without arguments).
    nlohmann::json callMalformed(const std::string& uuid, const std::string& kind);

    // Runs the loop until predicate() holds; fails the test (ADD_FAILURE) at the deadline.
    // The predicate is checked at least every 10 ms, so it may ask the mock (state()).
    bool runUntil(const std::function<bool()>& predicate,
                  std::chrono::milliseconds deadline = std::chrono::seconds(5));

  private:
    platform::linux_::MessageOwner call(const char* method,
                                        const std::function<void(sd_bus_message*)>& append);
    std::string callForText(const char* method, const std::function<void(sd_bus_message*)>& append);
    bool runLoop(const std::function<bool()>& done, std::chrono::steady_clock::time_point deadline);

    platform::linux_::EventOwner ownEvent_;
    sd_event* event_;
    std::unique_ptr<ChildProcess> process_;
    platform::linux_::BusOwner bus_;
};

}  // namespace quorla::testing

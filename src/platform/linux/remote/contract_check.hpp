#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/linux/bus/event_loop.hpp"
#include "platform/linux/remote/bluez_central.hpp"
#include "platform/linux/remote/commands.hpp"

namespace quorla::remote {

// quorla-remote check: the companion's whole contract, tried against whichever agent the
// central found, the Mac's or the Linux one's. One line per check, then "N passed, M
// failed". Every request it makes is switched back, so the state is left as it was found.
class ContractCheck {
  public:
    // heardAfter: from the write to the notification that showed the state asked for; none
    // when the outcome came another way.
    using Carried = std::function<void(const Request::Outcome& outcome,
                                       std::optional<std::chrono::duration<double>> heardAfter)>;
    // A request carried out as a setting (read, write, wait for the state) by the session.
    using CarryOut = std::function<void(std::shared_ptr<Request> request, Carried done)>;
    static constexpr int latencyRounds = 20;

    // done hears the exit status once the summary is out: 0 when every check that ran
    // passed, else 1.
    ContractCheck(BluezCentral& central, platform::linux_::EventLoop& loop, CarryOut carryOut,
                  std::chrono::duration<double> settle, std::ostream& out,
                  std::function<void(int status)> done);

    // subscribed: whether an earlier subscription (the console's) brought the value at once;
    // none: the check subscribes itself.
    void run(std::optional<bool> subscribed);
    void notified(const Bytes& value);
    // The central failed: the check says where it stopped, with the summary; false when
    // it was over already.
    bool stopped(const std::string& line);

  private:
    void passed(const std::string& name, const std::string& detail);
    void failed(const std::string& name, const std::string& detail);
    void skipped(const std::string& name, const std::string& reason);
    void checkAdvertisement();
    void checkLayout();
    void statusRead(const Bytes& value);
    void subscriptionHeard(const std::optional<Bytes>& value);
    void checkRequests();
    void switchAndBack(std::size_t index);
    void checkHand();
    void latencyRound(int round);
    void checkRestored();
    void summary();

    BluezCentral& central_;
    platform::linux_::EventLoop& loop_;
    CarryOut carryOut_;
    std::chrono::duration<double> settle_;
    std::ostream& out_;
    std::function<void(int)> done_;
    int passed_ = 0;
    int failed_ = 0;
    bool isOver_ = false;
    std::uint8_t found_ = 0;  // the status byte as the check found it
    bool isWaitingForSubscription_ = false;
    std::unique_ptr<platform::Timer> timer_;
    std::vector<double> latencies_;  // milliseconds
};

}  // namespace quorla::remote

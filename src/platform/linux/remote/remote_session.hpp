#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "platform/application.hpp"
#include "platform/linux/bus/event_loop.hpp"
#include "platform/linux/bus/line_reader.hpp"
#include "platform/linux/remote/bluez_central.hpp"
#include "platform/linux/remote/commands.hpp"
#include "platform/linux/remote/contract_check.hpp"

namespace quorla::remote {

// What quorla-remote does once BlueZ has handed it the agent: one command, or the console.
// Results (status lines, the connected line of the console) go to out, one flushed line
// each; failures to err.
class RemoteSession final : public platform::ApplicationDelegate {
  public:
    struct Settings {
        std::optional<Command> command;  // none: commands from standard input
        // How long a request waits for the status that shows it before reading instead.
        std::chrono::duration<double> settle;
    };

    RemoteSession(platform::linux_::EventLoop& loop, BluezCentral::Target target, Settings settings,
                  std::ostream& out, std::ostream& err);

    // 0, or 1 for a failure or an invalid status byte.
    int exitStatus() const { return exitStatus_; }

    void applicationDidFinishLaunching() override {}
    void applicationWillTerminate() override {}

  private:
    using Done = std::function<void(int status)>;

    void ready(const std::string& address);
    void notified(const Bytes& value);
    void failed(const std::string& line);
    void finish(int status);

    void startConsole(const std::string& address);
    void runLine(std::string_view line);
    void runQueued();
    // A status read, a request or a pairing; done hears the exit status it earns.
    void run(const Command& command, Done done);
    void carryOut(std::shared_ptr<Request> request, ContractCheck::Carried done);
    void conclude(const Request::Outcome& outcome, bool isShown, Done done);
    ContractCheck& startCheck(Done done);
    void subscribe(std::function<void()> next);
    void printStatus(const Bytes& value);

    platform::linux_::EventLoop& loop_;
    Settings settings_;
    std::ostream& out_;
    std::ostream& err_;
    BluezCentral central_;
    std::string serviceText_;

    bool isPrintingNotifications_ = false;  // the console and watch print each one
    bool isTimeStamped_ = false;
    // Hears each notification: the running request's, or the subscription's first.
    std::function<void(const Bytes&)> listener_;
    std::unique_ptr<platform::Timer> settleTimer_;
    std::optional<bool> isSubscriptionHeard_;  // the console's: the value came at once
    std::optional<ContractCheck> check_;
    std::optional<platform::linux_::LineReader> console_;
    std::deque<Command> queue_;  // console commands, run one at a time
    bool isRunning_ = false;
    bool isInputEnded_ = false;
    bool isFinishing_ = false;
    int exitStatus_ = 0;
};

}  // namespace quorla::remote

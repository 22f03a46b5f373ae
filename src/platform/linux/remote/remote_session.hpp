#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "platform/application.hpp"
#include "platform/linux/bus/event_loop.hpp"
#include "platform/linux/bus/line_reader.hpp"
#include "platform/linux/remote/bluez_central.hpp"
#include "platform/linux/remote/commands.hpp"

namespace quorla::remote {

// What quorla-remote does once BlueZ has handed it the agent: one command, or the console.
// Results (status lines, the connected line of the console) go to out, one flushed line
// each; failures to err.
class RemoteSession final : public platform::ApplicationDelegate {
  public:
    struct Settings {
        std::optional<Command> command;  // none: commands from standard input
        // How long a write waits for the notification it causes before reading instead.
        std::chrono::duration<double> settle;
    };

    RemoteSession(platform::linux_::EventLoop& loop, BluezCentral::Target target, Settings settings,
                  std::ostream& out, std::ostream& err);

    // 0, or 1 for a failure or an invalid status byte.
    int exitStatus() const { return exitStatus_; }

    void applicationDidFinishLaunching() override {}
    void applicationWillTerminate() override {}

  private:
    using Waiter = std::function<void(const std::optional<Bytes>& notification)>;

    static int onSettled(sd_event_source*, std::uint64_t, void* userdata);
    void ready(const std::string& address);
    void notified(const Bytes& value);
    void failed(const std::string& line);
    void finish(int status);

    void startConsole(const std::string& address);
    void runLine(std::string_view line);
    void run(const Command& command, std::function<void(const Bytes&)> shown);
    void subscribe(std::function<void()> next);
    void pair(const std::string& address, std::function<void(const Bytes&)> shown);
    void awaitNotification(Waiter waiter);
    void printStatus(const Bytes& value);
    void endConsoleWhenIdle();

    platform::linux_::EventLoop& loop_;
    Settings settings_;
    std::ostream& out_;
    std::ostream& err_;
    BluezCentral central_;
    std::string serviceText_;
    std::string address_;  // the agent's, once connected

    bool isPrintingNotifications_ = false;  // the console and watch print each one
    bool isTimeStamped_ = false;
    Waiter waiter_;  // takes the next notification, or none once settle has passed
    platform::linux_::EventSourceOwner settleTimer_;
    std::optional<platform::linux_::LineReader> console_;
    int busy_ = 0;  // console commands still waiting for BlueZ
    bool isInputEnded_ = false;
    bool isFinishing_ = false;
    int exitStatus_ = 0;
};

}  // namespace quorla::remote

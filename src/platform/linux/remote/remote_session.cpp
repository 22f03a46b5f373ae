#include "platform/linux/remote/remote_session.hpp"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <utility>
#include <vector>

#include "platform/linux/remote/status_line.hpp"

namespace quorla::remote {

using namespace platform::linux_;

namespace {

std::string timeOfDay() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03ld", local.tm_hour, local.tm_min,
                  local.tm_sec, now.tv_nsec / 1'000'000);
    return text;
}

std::vector<std::string_view> wordsOf(std::string_view line) {
    std::vector<std::string_view> words;
    constexpr std::string_view blanks = " \t\r\v\f";
    while (true) {
        const auto first = line.find_first_not_of(blanks);
        if (first == std::string_view::npos)
            return words;
        line.remove_prefix(first);
        const auto end = line.find_first_of(blanks);
        words.push_back(line.substr(0, end));
        if (end == std::string_view::npos)
            return words;
        line.remove_prefix(end);
    }
}

}  // namespace

RemoteSession::RemoteSession(EventLoop& loop, BluezCentral::Target target, Settings settings,
                             std::ostream& out, std::ostream& err)
    : loop_(loop),
      settings_(std::move(settings)),
      out_(out),
      err_(err),
      central_(loop, target,
               {.ready = [this](const std::string& address) { ready(address); },
                .notified = [this](const Bytes& value) { notified(value); },
                .failed = [this](const std::string& line) { failed(line); }},
               err),
      serviceText_(target.service.toString()) {}

void RemoteSession::ready(const std::string& address) {
    if (!settings_.command)
        return startConsole(address);
    err_ << "quorla-remote: connected to " << address << ", service " << serviceText_ << '\n';
    const auto command = *settings_.command;
    switch (command.kind) {
        case Command::Kind::watch:
            isPrintingNotifications_ = isTimeStamped_ = true;
            return subscribe([] {});
        case Command::Kind::pair:
            return pair(address,
                        [this](const Bytes& value) { finish(isValidStatus(value) ? 0 : 1); });
        case Command::Kind::write:
            // The agent answers a subscription with the current value; that one is not the
            // write's outcome, so the write waits for it.
            return subscribe([this, command] {
                run(command, [this](const Bytes& value) { finish(isValidStatus(value) ? 0 : 1); });
            });
        default:
            return run(command,
                       [this](const Bytes& value) { finish(isValidStatus(value) ? 0 : 1); });
    }
}

// The status read that follows shows that the agent lets us in now.
void RemoteSession::pair(const std::string& address, std::function<void(const Bytes&)> shown) {
    central_.pair([this, address, shown](bool wasPaired) {
        out_ << (wasPaired ? "already paired with " : "paired with ") << address << std::endl;
        run({Command::Kind::status}, shown);
    });
}

// An agent on BlueZ sends the value at once only to a new subscription: BlueZ keeps a bonded
// central's subscription from one link to the next without telling the agent. Where no
// value comes, watching reads it instead, and shows it without the time stamp that marks a
// notification.
void RemoteSession::subscribe(std::function<void()> next) {
    awaitNotification([this, next = std::move(next)](const std::optional<Bytes>& notification) {
        if (notification || !isPrintingNotifications_)
            return next();
        central_.read(Role::status, [this, next](const Bytes& value) {
            printStatus(value);
            next();
        });
    });
    central_.subscribe(Role::status, [] {});
}

// A status read, or a write followed by the status it brought; shown gets the value printed.
void RemoteSession::run(const Command& command, std::function<void(const Bytes&)> shown) {
    const auto readAndShow = [this, shown] {
        central_.read(Role::status, [this, shown](const Bytes& value) {
            printStatus(value);
            shown(value);
        });
    };
    if (command.kind == Command::Kind::status)
        return readAndShow();
    awaitNotification([this, shown, readAndShow](const std::optional<Bytes>& notification) {
        if (!notification)
            return readAndShow();
        if (!isPrintingNotifications_)
            printStatus(*notification);
        shown(*notification);
    });
    central_.writeCommand(command.role, command.value, [] {});
}

void RemoteSession::awaitNotification(Waiter waiter) {
    // A console write sent before the previous one settled: that one reads instead.
    if (auto previous = std::exchange(waiter_, nullptr))
        previous(std::nullopt);
    waiter_ = std::move(waiter);
    const auto usec = std::chrono::duration_cast<std::chrono::microseconds>(settings_.settle);
    sd_event_source* source = nullptr;
    check(sd_event_add_time_relative(loop_.event(), &source, CLOCK_MONOTONIC,
                                     static_cast<std::uint64_t>(usec.count()), 1000, &onSettled,
                                     this),
          "sd_event_add_time_relative");
    settleTimer_.reset(source);
}

int RemoteSession::onSettled(sd_event_source*, std::uint64_t, void* userdata) {
    auto& self = *static_cast<RemoteSession*>(userdata);
    try {
        if (auto waiter = std::exchange(self.waiter_, nullptr))
            waiter(std::nullopt);
    } catch (const std::exception& failure) {
        self.failed(failure.what());
    }
    return 0;
}

void RemoteSession::notified(const Bytes& value) {
    if (isPrintingNotifications_) {
        if (isTimeStamped_)
            out_ << timeOfDay() << ' ';
        printStatus(value);
    }
    if (auto waiter = std::exchange(waiter_, nullptr)) {
        settleTimer_.reset();
        waiter(value);
    }
}

void RemoteSession::printStatus(const Bytes& value) {
    out_ << statusLine(value) << std::endl;
}

void RemoteSession::failed(const std::string& line) {
    err_ << "quorla-remote: " << line << std::endl;
    finish(1);
}

void RemoteSession::finish(int status) {
    if (std::exchange(isFinishing_, true))
        return;
    exitStatus_ = status;
    waiter_ = nullptr;
    settleTimer_.reset();
    console_.reset();
    loop_.terminate();
}

// ---- The console ----

void RemoteSession::startConsole(const std::string& address) {
    isPrintingNotifications_ = true;
    address_ = address;
    // The line a program driving the console through a pipe waits for.
    out_ << "connected to " << address << ", service " << serviceText_ << std::endl;
    subscribe([this] {
        console_.emplace(
            loop_.event(), STDIN_FILENO,
            LineReader::Handlers{
                .line = [this](std::string_view line) { runLine(line); },
                .tooLong = [this] { err_ << "quorla-remote: line too long, ignored\n"; },
                .ended =
                    [this](int errorNumber) {
                        if (errorNumber != 0)
                            err_ << "quorla-remote: cannot read standard input ("
                                 << std::strerror(errorNumber) << ")\n";
                        isInputEnded_ = true;
                        endConsoleWhenIdle();
                    }});
        if (!console_->isReading()) {
            err_ << "quorla-remote: standard input is no terminal or pipe; no commands to read\n";
            finish(0);
        }
    });
}

void RemoteSession::runLine(std::string_view line) {
    const auto words = wordsOf(line);
    if (words.empty())
        return;
    Command command;
    try {
        command = parseCommand(words);
    } catch (const CommandError& error) {
        err_ << "quorla-remote: " << error.what() << std::endl;
        return;
    }
    switch (command.kind) {
        case Command::Kind::help:
            out_ << commandHelp << std::flush;
            return;
        case Command::Kind::quit:
            return finish(0);
        case Command::Kind::watch:
            err_ << "quorla-remote: the console prints every notification already" << std::endl;
            return;
        case Command::Kind::pair:
            ++busy_;
            return pair(address_, [this](const Bytes&) {
                --busy_;
                endConsoleWhenIdle();
            });
        default:
            ++busy_;
            run(command, [this](const Bytes&) {
                --busy_;
                endConsoleWhenIdle();
            });
    }
}

// The end of the input ends the console once the answers to its last commands are shown.
void RemoteSession::endConsoleWhenIdle() {
    if (isInputEnded_ && busy_ == 0)
        finish(0);
}

}  // namespace quorla::remote

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
    const auto finished = [this](int status) { finish(status); };
    switch (command.kind) {
        case Command::Kind::watch:
            isPrintingNotifications_ = isTimeStamped_ = true;
            return subscribe([] {});
        case Command::Kind::set:
        case Command::Kind::toggle:
            // The subscription's own value may come after the write: it shows the state
            // before, which no request takes for its outcome.
            return central_.subscribe(Role::status,
                                      [this, command, finished] { run(command, finished); });
        default:
            return run(command, finished);
    }
}

void RemoteSession::run(const Command& command, Done done) {
    switch (command.kind) {
        case Command::Kind::set:
        case Command::Kind::toggle:
            return carryOut(std::make_shared<Request>(command, settings_.settle),
                            [this, done](const Request::Outcome& outcome, auto heardAfter) {
                                conclude(outcome, heardAfter && isPrintingNotifications_, done);
                            });
        case Command::Kind::check:
            return startCheck(std::move(done)).run(isSubscriptionHeard_);
        case Command::Kind::pair:
            // The status read that follows shows that the agent lets us in now.
            return central_.pair([this, done = std::move(done)](bool wasPaired) {
                out_ << (wasPaired ? "already paired with " : "paired with ") << central_.address()
                     << std::endl;
                run({Command::Kind::status}, done);
            });
        default:
            return central_.read(Role::status, [this, done = std::move(done)](const Bytes& value) {
                printStatus(value);
                done(isValidStatus(value) ? 0 : 1);
            });
    }
}

void RemoteSession::carryOut(std::shared_ptr<Request> request, ContractCheck::Carried done) {
    central_.read(Role::status, [this, request, done](const Bytes& before) {
        const auto outcome = request->read(before);
        if (outcome.next != Request::Next::write)
            return done(outcome, std::nullopt);
        const auto sent = std::chrono::steady_clock::now();
        listener_ = [this, request, done, sent](const Bytes& value) {
            const auto heard = request->notified(value);
            if (heard.next == Request::Next::wait)
                return;
            listener_ = nullptr;
            settleTimer_.reset();
            done(heard, std::chrono::steady_clock::now() - sent);
        };
        settleTimer_ = loop_.scheduleTimer(settings_.settle, [this, request, done] {
            listener_ = nullptr;
            central_.read(Role::status, [request, done](const Bytes& after) {
                done(request->settled(after), std::nullopt);
            });
        });
        central_.writeCommand(request->role(), request->value(), [] {});
    });
}

ContractCheck& RemoteSession::startCheck(Done done) {
    // Its own lines only: the console's notifications pause while it runs.
    const bool wasPrinting = std::exchange(isPrintingNotifications_, false);
    return check_.emplace(
        central_, loop_,
        [this](std::shared_ptr<Request> request, ContractCheck::Carried carried) {
            carryOut(std::move(request), std::move(carried));
        },
        settings_.settle, out_,
        [this, wasPrinting, done](int status) {
            // Outside the check's own calls, which its end must not destroy under them.
            loop_.async([this, wasPrinting, done, status] {
                check_.reset();
                isPrintingNotifications_ = wasPrinting;
                done(status);
            });
        });
}

// isShown: the line is the status the console printed as it came.
void RemoteSession::conclude(const Request::Outcome& outcome, bool isShown, Done done) {
    if (outcome.next == Request::Next::failed) {
        err_ << "quorla-remote: " << outcome.line << std::endl;
        return done(1);
    }
    if (!isShown)
        out_ << outcome.line << std::endl;
    done(0);
}

// An agent on BlueZ sends the value at once only to a new subscription: BlueZ keeps a bonded
// central's subscription from one link to the next without telling the agent. Where no
// value comes, watching reads it instead, and shows it without the time stamp that marks a
// notification.
void RemoteSession::subscribe(std::function<void()> next) {
    listener_ = [this, next](const Bytes&) {
        listener_ = nullptr;
        settleTimer_.reset();
        isSubscriptionHeard_ = true;
        next();
    };
    settleTimer_ = loop_.scheduleTimer(settings_.settle, [this, next] {
        listener_ = nullptr;
        isSubscriptionHeard_ = false;
        central_.read(Role::status, [this, next](const Bytes& value) {
            printStatus(value);
            next();
        });
    });
    central_.subscribe(Role::status, [] {});
}

void RemoteSession::notified(const Bytes& value) {
    if (isPrintingNotifications_) {
        if (isTimeStamped_)
            out_ << timeOfDay() << ' ';
        printStatus(value);
    }
    if (auto listener = listener_)
        listener(value);
    if (check_)
        check_->notified(value);
}

void RemoteSession::printStatus(const Bytes& value) {
    out_ << statusLine(value) << std::endl;
}

void RemoteSession::failed(const std::string& line) {
    // A check says where it stopped; a device that differs is a check that failed, not a
    // failure to check.
    bool isReported = check_ && check_->stopped(line);
    if (!isReported && settings_.command && settings_.command->kind == Command::Kind::check &&
        central_.connection().layoutMismatch())
        isReported = startCheck([](int) {}).stopped(line);
    if (!isReported)
        err_ << "quorla-remote: " << line << std::endl;
    finish(1);
}

void RemoteSession::finish(int status) {
    if (std::exchange(isFinishing_, true))
        return;
    exitStatus_ = status;
    listener_ = nullptr;
    settleTimer_.reset();
    console_.reset();
    loop_.terminate();
}

// ---- The console ----

void RemoteSession::startConsole(const std::string& address) {
    isPrintingNotifications_ = true;
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
                        if (!isRunning_)
                            finish(0);
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
        default:
            queue_.push_back(command);
            if (!isRunning_)
                runQueued();
    }
}

// The end of the input ends the console once the answers to its last commands are shown.
void RemoteSession::runQueued() {
    if (isFinishing_)
        return;
    isRunning_ = !queue_.empty();
    if (!isRunning_) {
        if (isInputEnded_)
            finish(0);
        return;
    }
    const auto command = queue_.front();
    queue_.pop_front();
    run(command, [this](int) { runQueued(); });
}

}  // namespace quorla::remote

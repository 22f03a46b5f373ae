#include "e2e/agent_process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <utility>

extern char** environ;

namespace quorla::testing {

namespace {

void readAvailable(int fd, std::string& into) {
    char buffer[4096];
    for (;;) {
        const auto count = ::read(fd, buffer, sizeof buffer);
        if (count <= 0)
            return;
        into.append(buffer, static_cast<std::size_t>(count));
    }
}

std::vector<std::string> environmentWith(const std::filesystem::path& configHome) {
    std::vector<std::string> environment{"XDG_CONFIG_HOME=" + configHome.string()};
    for (char** entry = environ; *entry; ++entry) {
        if (!std::string_view(*entry).starts_with("XDG_CONFIG_HOME="))
            environment.emplace_back(*entry);
    }
    return environment;
}

}  // namespace

AgentProcess::AgentProcess(const std::vector<std::string>& arguments,
                           const std::filesystem::path& configHome) {
    // A write to an agent that has ended must fail, not end the test.
    ::signal(SIGPIPE, SIG_IGN);
    std::vector<std::string> argv{QUORLA_BINARY};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    process_ = std::make_unique<ChildProcess>(
        argv, -1, StandardStreams{input_.readEnd, outputPipe_.writeEnd, tracePipe_.writeEnd},
        environmentWith(configHome));
    ::close(std::exchange(input_.readEnd, -1));
    outputPipe_.closeWriteEnd();
    tracePipe_.closeWriteEnd();
    ::fcntl(outputPipe_.readEnd, F_SETFL, O_NONBLOCK);
    ::fcntl(tracePipe_.readEnd, F_SETFL, O_NONBLOCK);
}

AgentProcess::~AgentProcess() = default;

void AgentProcess::send(std::string_view line) {
    std::string text(line);
    text += '\n';
    // The agent reads its input while it runs; a write to one that ended fails (EPIPE), and
    // the test's expectations then show what happened.
    const auto ignored = ::write(input_.writeEnd, text.data(), text.size());
    (void)ignored;
}

void AgentProcess::closeInput() {
    ::close(std::exchange(input_.writeEnd, -1));
}

void AgentProcess::signal(int number) {
    if (!exitStatus_)
        process_->signal(number);
}

const std::string& AgentProcess::output() {
    collect();
    return output_;
}

const std::string& AgentProcess::trace() {
    collect();
    return trace_;
}

std::optional<int> AgentProcess::exitStatus() {
    collect();
    return exitStatus_;
}

std::optional<int> AgentProcess::awaitExit(std::chrono::milliseconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!exitStatus()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        // Woken by output or by the end of the streams, which comes with the agent's exit.
        pollfd streams[] = {{tracePipe_.readEnd, POLLIN, 0}, {outputPipe_.readEnd, POLLIN, 0}};
        ::poll(streams, 2, static_cast<int>(std::min<std::int64_t>(left.count(), 10)));
    }
    return exitStatus_;
}

void AgentProcess::collect() {
    readAvailable(outputPipe_.readEnd, output_);
    readAvailable(tracePipe_.readEnd, trace_);
    if (exitStatus_)
        return;
    exitStatus_ = process_->exitCode();
    if (!exitStatus_)
        return;
    readAvailable(outputPipe_.readEnd, output_);
    readAvailable(tracePipe_.readEnd, trace_);
}

}  // namespace quorla::testing

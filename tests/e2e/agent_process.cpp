#include "e2e/agent_process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <stdexcept>
#include <utility>

extern char** environ;

namespace quorla::testing {

namespace {

void makePipe(int ends[2]) {
    if (::pipe2(ends, O_CLOEXEC) < 0)
        throw std::runtime_error("pipe2 failed");
}

void readAvailable(int fd, std::string& into) {
    char buffer[4096];
    for (;;) {
        const auto count = ::read(fd, buffer, sizeof buffer);
        if (count <= 0)
            return;
        into.append(buffer, static_cast<std::size_t>(count));
    }
}

}  // namespace

AgentProcess::AgentProcess(const std::vector<std::string>& arguments,
                           const std::filesystem::path& configHome) {
    // A write to an agent that has ended must fail, not end the test.
    ::signal(SIGPIPE, SIG_IGN);
    std::vector<std::string> texts{QUORLA_BINARY};
    texts.insert(texts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& text : texts)
        argv.push_back(text.data());
    argv.push_back(nullptr);

    std::vector<std::string> environment{"XDG_CONFIG_HOME=" + configHome.string()};
    for (char** entry = environ; *entry; ++entry) {
        if (!std::string_view(*entry).starts_with("XDG_CONFIG_HOME="))
            environment.emplace_back(*entry);
    }
    std::vector<char*> envp;
    for (auto& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    int input[2], output[2], trace[2];
    makePipe(input);
    makePipe(output);
    makePipe(trace);
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ < 0)
        throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        ::dup2(input[0], STDIN_FILENO);
        ::dup2(output[1], STDOUT_FILENO);
        ::dup2(trace[1], STDERR_FILENO);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(input[0]);
    ::close(output[1]);
    ::close(trace[1]);
    input_ = input[1];
    outputFd_ = output[0];
    traceFd_ = trace[0];
    ::fcntl(outputFd_, F_SETFL, O_NONBLOCK);
    ::fcntl(traceFd_, F_SETFL, O_NONBLOCK);
}

AgentProcess::~AgentProcess() {
    if (!exitStatus_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    for (int fd : {input_, outputFd_, traceFd_}) {
        if (fd >= 0)
            ::close(fd);
    }
}

void AgentProcess::send(std::string_view line) {
    std::string text(line);
    text += '\n';
    // The agent reads its input while it runs; a write to one that ended fails (EPIPE), and
    // the test's expectations then show what happened.
    const auto ignored = ::write(input_, text.data(), text.size());
    (void)ignored;
}

void AgentProcess::closeInput() {
    ::close(std::exchange(input_, -1));
}

void AgentProcess::signal(int number) {
    if (!exitStatus_)
        ::kill(pid_, number);
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
        pollfd streams[] = {{traceFd_, POLLIN, 0}, {outputFd_, POLLIN, 0}};
        ::poll(streams, 2, static_cast<int>(std::min<std::int64_t>(left.count(), 10)));
    }
    return exitStatus_;
}

void AgentProcess::collect() {
    readAvailable(outputFd_, output_);
    readAvailable(traceFd_, trace_);
    if (exitStatus_)
        return;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) != pid_)
        return;
    exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1 - WTERMSIG(status);
    readAvailable(outputFd_, output_);
    readAvailable(traceFd_, trace_);
}

}  // namespace quorla::testing

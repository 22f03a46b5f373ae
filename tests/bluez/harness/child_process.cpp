#include "bluez/harness/child_process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "platform/linux/sd_owners.hpp"

namespace quorla::testing {

using platform::linux_::check;

namespace {

int checkErrno(int result, const char* call) {
    return check(result < 0 ? -errno : result, call);
}

std::vector<char*> pointersTo(const std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (const std::string& text : texts)
        pointers.push_back(const_cast<char*>(text.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}

// In the child: each given stream takes the place of the standard one (dup2 leaves the new
// descriptor open across exec).
bool redirect(const StandardStreams& streams) {
    const std::pair<int, int> moves[] = {{streams.input, STDIN_FILENO},
                                         {streams.output, STDOUT_FILENO},
                                         {streams.error, STDERR_FILENO}};
    for (const auto& [from, to] : moves) {
        if (from != -1 && dup2(from, to) < 0)
            return false;
    }
    return true;
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, int inheritedFd,
                           StandardStreams streams,
                           std::optional<std::vector<std::string>> environment)
    : name_(argv.at(0)) {
    // Everything the child needs is prepared before fork: after it, only calls that are
    // safe in a child of a possibly multi-threaded process.
    auto arguments = pointersTo(argv);
    auto variables = environment ? pointersTo(*environment) : std::vector<char*>{};
    const pid_t parent = getpid();

    pid_ = checkErrno(fork(), "fork");
    if (pid_ == 0) {
        if (prctl(PR_SET_PDEATHSIG, SIGKILL) < 0 || getppid() != parent)
            _exit(127);
        // The test may block signals for its event loop; the mask would survive exec.
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        if ((inheritedFd != -1 && fcntl(inheritedFd, F_SETFD, 0) < 0) || !redirect(streams))
            _exit(127);
        if (environment)
            execve(arguments[0], arguments.data(), variables.data());
        else
            execv(arguments[0], arguments.data());
        _exit(127);
    }
}

ChildProcess::~ChildProcess() {
    // SIGKILL cannot be caught or blocked, so the wait that follows is bounded.
    kill(pid_, SIGKILL);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
}

std::optional<int> ChildProcess::exitCode() {
    // WNOWAIT leaves the child to the destructor's waitpid.
    siginfo_t info{};
    checkErrno(waitid(P_PID, pid_, &info, WEXITED | WNOHANG | WNOWAIT), "waitid");
    if (info.si_pid != pid_)
        return std::nullopt;
    return info.si_code == CLD_EXITED ? info.si_status : -1 - info.si_status;
}

void ChildProcess::signal(int number) {
    kill(pid_, number);
}

std::string ChildProcess::status(std::chrono::steady_clock::time_point until) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    if (left.count() > 0) {
        // A pidfd turns readable when the child exits. (Debian 12's <sys/pidfd.h> lacks
        // extern "C", hence the raw system call.)
        const int process =
            checkErrno(static_cast<int>(syscall(SYS_pidfd_open, pid_, 0)), "pidfd_open");
        pollfd exited{process, POLLIN, 0};
        poll(&exited, 1, static_cast<int>(left.count()));
        close(process);
    }
    const auto code = exitCode();
    if (!code)
        return name_ + " running";
    if (*code >= 0)
        return name_ + " exited with " + std::to_string(*code);
    return name_ + " killed by signal " + std::to_string(-1 - *code);
}

std::string readLine(int fd, std::chrono::steady_clock::time_point deadline,
                     const std::string& what) {
    std::string line;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            throw std::runtime_error(what + ": nothing within the deadline");
        pollfd readable{fd, POLLIN, 0};
        const int ready = poll(&readable, 1, static_cast<int>(left.count()) + 1);
        if (ready < 0 && errno == EINTR)
            continue;
        checkErrno(ready, "poll");
        if (ready == 0)
            continue;
        char c = 0;
        const ssize_t n = read(fd, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        checkErrno(static_cast<int>(n), "read");
        if (n == 0)
            throw std::runtime_error(what + ": closed before a line was written");
        if (c == '\n')
            return line;
        line += c;
    }
}

Pipe::Pipe() {
    int fds[2];
    checkErrno(pipe2(fds, O_CLOEXEC), "pipe2");
    readEnd = fds[0];
    writeEnd = fds[1];
}

Pipe::~Pipe() {
    closeWriteEnd();
    close(readEnd);
}

void Pipe::closeWriteEnd() {
    if (writeEnd != -1)
        close(writeEnd);
    writeEnd = -1;
}

}  // namespace quorla::testing

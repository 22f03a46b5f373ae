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

#include "platform/linux/sd_owners.hpp"

namespace quorla::testing {

using platform::linux_::check;

namespace {

int checkErrno(int result, const char* call) {
    return check(result < 0 ? -errno : result, call);
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, int inheritedFd)
    : name_(argv.at(0)) {
    // Everything the child needs is prepared before fork: after it, only calls that are
    // safe in a child of a possibly multi-threaded process.
    std::vector<char*> arguments;
    for (const std::string& argument : argv)
        arguments.push_back(const_cast<char*>(argument.c_str()));
    arguments.push_back(nullptr);
    const pid_t parent = getpid();

    pid_ = checkErrno(fork(), "fork");
    if (pid_ == 0) {
        if (prctl(PR_SET_PDEATHSIG, SIGKILL) < 0 || getppid() != parent)
            _exit(127);
        // The test may block signals for its event loop; the mask would survive exec.
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        if (inheritedFd != -1 && fcntl(inheritedFd, F_SETFD, 0) < 0)
            _exit(127);
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
    // WNOWAIT leaves the child to the destructor's waitpid.
    siginfo_t info{};
    checkErrno(waitid(P_PID, pid_, &info, WEXITED | WNOHANG | WNOWAIT), "waitid");
    if (info.si_pid != pid_)
        return name_ + " running";
    if (info.si_code == CLD_EXITED)
        return name_ + " exited with " + std::to_string(info.si_status);
    return name_ + " killed by signal " + std::to_string(info.si_status);
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

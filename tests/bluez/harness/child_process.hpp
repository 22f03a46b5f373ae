#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace quorla::testing {

// What a child reads and writes instead of the test's own streams (-1: the test's).
struct StandardStreams {
    int input = -1;
    int output = -1;
    int error = -1;
};

// A process the test starts and that never outlives it: the kernel kills it when the test
// dies, however it dies (PR_SET_PDEATHSIG), and the destructor kills and reaps it.
class ChildProcess {
  public:
    // Starts argv[0] (a path) with argv. inheritedFd, if not -1, stays open in the child.
    // environment, when given, replaces the test's.
    ChildProcess(const std::vector<std::string>& argv, int inheritedFd,
                 StandardStreams streams = {},
                 std::optional<std::vector<std::string>> environment = std::nullopt);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // How the child ended ("NAME exited with 2", "NAME killed by signal 9"), or "NAME running"
    // if it has not by `until` (by default: now).
    std::string status(std::chrono::steady_clock::time_point until = {});
    // The exit status, or -1 - the signal that ended it; none while it runs.
    std::optional<int> exitCode();
    void signal(int number);

  private:
    pid_t pid_;
    std::string name_;
};

// One line (without its newline) from fd, or an exception naming `what` when the writer
// closes fd first or the deadline passes.
std::string readLine(int fd, std::chrono::steady_clock::time_point deadline,
                     const std::string& what);

// Both ends close on exec; the one a child needs is handed over through ChildProcess.
struct Pipe {
    Pipe();
    ~Pipe();
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    void closeWriteEnd();
    int readEnd = -1;
    int writeEnd = -1;
};

}  // namespace quorla::testing

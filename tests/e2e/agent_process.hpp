#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bluez/harness/child_process.hpp"

namespace quorla::testing {

// The quorla program running as a child of the test, with its settings under configHome and
// its three standard streams in the test's hands. It never outlives the test: the kernel
// kills it if the test dies, and the destructor kills and reaps it.
class AgentProcess {
  public:
    AgentProcess(const std::vector<std::string>& arguments,
                 const std::filesystem::path& configHome);
    ~AgentProcess();
    AgentProcess(const AgentProcess&) = delete;
    AgentProcess& operator=(const AgentProcess&) = delete;

    // One console line; the newline is added.
    void send(std::string_view line);
    void closeInput();
    void signal(int number);

    // Everything the agent wrote so far; reading never blocks.
    const std::string& output();
    const std::string& trace();
    // The exit status once the agent has exited normally; -1 - signal when a signal ended it.
    std::optional<int> exitStatus();
    // Waits for the agent to end, at most deadline, taking in what it writes meanwhile.
    std::optional<int> awaitExit(std::chrono::milliseconds deadline);

  private:
    void collect();

    Pipe input_;
    Pipe outputPipe_;
    Pipe tracePipe_;
    std::unique_ptr<ChildProcess> process_;
    std::string output_;
    std::string trace_;
    std::optional<int> exitStatus_;
};

}  // namespace quorla::testing

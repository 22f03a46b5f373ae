#include "bluez/harness/private_bus.hpp"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "bluez/harness/child_process.hpp"

namespace quorla::testing {

namespace {

constexpr const char* addressVariable = "DBUS_SYSTEM_BUS_ADDRESS";

// No <servicedir>: nothing is ever activated, every process on the bus is one the test
// started. The policy allows everything, as a session bus does.
std::string configuration(const std::string& socketName) {
    return R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <listen>unix:abstract=)" +
           socketName + R"(</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*" eavesdrop="true"/>
    <allow receive_sender="*"/>
    <allow eavesdrop="true"/>
  </policy>
</busconfig>
)";
}

// The daemon reads its configuration once, at start; the file goes as soon as it has.
struct ConfigurationFile {
    ConfigurationFile() {
        static int created = 0;
        // Unique among live tests: a daemon never outlives the process named here.
        const std::string socketName =
            "quorla-test-bus-" + std::to_string(getpid()) + "-" + std::to_string(++created);
        path = std::filesystem::temp_directory_path() / (socketName + ".conf");
        std::ofstream file(path, std::ios::trunc);
        file << configuration(socketName);
        if (!file.flush())
            throw std::runtime_error("cannot write " + path.string());
    }
    ~ConfigurationFile() {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
    std::filesystem::path path;
};

}  // namespace

PrivateBus::PrivateBus() {
    const ConfigurationFile config;
    Pipe addressPipe;
    daemon_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"/usr/bin/dbus-daemon", "--nofork", "--nosyslog",
                                 "--config-file=" + config.path.string(),
                                 "--print-address=" + std::to_string(addressPipe.writeEnd)},
        addressPipe.writeEnd);
    addressPipe.closeWriteEnd();
    try {
        address_ = readLine(addressPipe.readEnd,
                            std::chrono::steady_clock::now() + std::chrono::seconds(10),
                            "the address of dbus-daemon");
    } catch (const std::runtime_error& error) {
        throw std::runtime_error(std::string(error.what()) + " (" + daemon_->status() + ")");
    }

    if (const char* previous = std::getenv(addressVariable))
        previousAddress_ = previous;
    setenv(addressVariable, address_.c_str(), 1);
}

PrivateBus::~PrivateBus() {
    if (previousAddress_)
        setenv(addressVariable, previousAddress_->c_str(), 1);
    else
        unsetenv(addressVariable);
}

}  // namespace quorla::testing

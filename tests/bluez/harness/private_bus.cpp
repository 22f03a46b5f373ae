#include "bluez/harness/private_bus.hpp"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "bluez/harness/child_process.hpp"

namespace quorla::testing {

namespace {

constexpr const char* addressVariable = "DBUS_SYSTEM_BUS_ADDRESS";

// No <servicedir>: nothing is ever activated, every process on the bus is one the test
// started. The policy allows everything, as a session bus does.
std::string configuration(const std::filesystem::path& directory) {
    return R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>quorla-test</type>
  <listen>unix:dir=)" +
           directory.string() + R"(</listen>
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

}  // namespace

PrivateBus::Directory::~Directory() {
    std::error_code ignored;
    if (!path.empty())
        std::filesystem::remove_all(path, ignored);
}

PrivateBus::PrivateBus() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quorla-bus-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp: cannot create a directory for the private bus");
    directory_.path = pattern;
    const std::filesystem::path config = directory_.path / "bus.conf";
    std::ofstream(config) << configuration(directory_.path);

    Pipe addressPipe;
    daemon_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"/usr/bin/dbus-daemon", "--nofork", "--nosyslog",
                                 "--config-file=" + config.string(),
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

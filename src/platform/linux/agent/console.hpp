#pragma once

#include <systemd/sd-event.h>

#include <functional>
#include <ostream>
#include <string>
#include <string_view>

#include "bluetooth/bluetooth_session_manager.hpp"
#include "platform/application.hpp"
#include "platform/linux/bus/line_reader.hpp"
#include "platform/linux/emulation/emulated_client.hpp"
#include "platform/linux/emulation/traced_status_bar.hpp"

namespace quorla::platform::linux_ {

// Commands typed on a terminal or sent through a pipe, one per line, read on the event
// loop. They act as the client's user, the status-bar menu's user or the agent's user
// would; replies go to the trace. The end of the input leaves the agent running.
class Console {
  public:
    struct Targets {
        EmulatedClient& client;
        platform::Application& application;
        TracedStatusBar& statusBar;
        bluetooth::BluetoothSessionManager& session;
        // What pair-accept, pair-reject, paired and unpair ask of PairingPolicy.
        struct Pairing {
            std::function<void(bool isAccepted)> answer;
            std::function<void()> listPaired;
            std::function<void(std::string_view address)> unpair;
        } pairing;
    };

    // Watches fd when it is a terminal or a pipe; anything else (/dev/null under a service
    // manager, a regular file) is left alone. All of targets must outlive the console.
    Console(sd_event* event, int fd, Targets targets, std::ostream& trace);

    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

  private:
    void runLine(std::string_view line);
    void run(std::string_view command, std::string_view argument);
    void setLanguage(std::string_view key);
    void unknown(std::string_view line);

    Targets targets_;
    std::ostream& trace_;
    LineReader reader_;
};

}  // namespace quorla::platform::linux_

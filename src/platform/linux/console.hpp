#pragma once

#include <systemd/sd-event.h>

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>

#include "bluetooth/bluetooth_session_manager.hpp"
#include "platform/application.hpp"
#include "platform/linux/emulated_client.hpp"
#include "platform/linux/sd_owners.hpp"
#include "platform/linux/traced_status_bar.hpp"

namespace quorla::platform::linux_ {

// Commands typed on a terminal or sent through a pipe, one per line, read on the event
// loop. They act as the client's user, the status-bar menu's user or the agent's user
// would; replies go to the trace. The end of the input leaves the agent running.
class Console {
  public:
    // Longer lines are dropped whole, so garbage on the input never grows memory.
    static constexpr std::size_t maxLineBytes = 1024;

    struct Targets {
        EmulatedClient& client;
        platform::Application& application;
        TracedStatusBar& statusBar;
        bluetooth::BluetoothSessionManager& session;
    };

    // Watches fd when it is a terminal or a pipe; anything else (/dev/null under a service
    // manager, a regular file) is left alone. All of targets must outlive the console.
    Console(sd_event* event, int fd, Targets targets, std::ostream& trace);

    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

  private:
    static int onReadable(sd_event_source* source, int fd, std::uint32_t events, void* console);
    void read(int fd);
    void take(std::string_view bytes);
    void runLine(std::string_view line);
    void run(std::string_view command, std::string_view argument);
    void setLanguage(std::string_view key);
    void unknown(std::string_view line);
    void stopReading();

    Targets targets_;
    std::ostream& trace_;
    EventSourceOwner source_;
    std::string pending_;
    // Inside a line that went over the limit: everything up to its end is dropped.
    bool isDiscardingLine_ = false;
};

}  // namespace quorla::platform::linux_

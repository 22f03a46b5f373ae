// The quorla-remote program: a companion's central for the Quorla agent over BlueZ. It only
// wires the options, the loop and the session.
#include <chrono>
#include <iostream>
#include <string_view>
#include <vector>

#include "platform/linux/bus/event_loop.hpp"
#include "platform/linux/remote/remote_options.hpp"
#include "platform/linux/remote/remote_session.hpp"

using namespace quorla;

int main(int argc, char** argv) {
    remote::RemoteOptions options;
    try {
        options = remote::parseRemoteOptions(std::vector<std::string_view>(argv + 1, argv + argc));
    } catch (const remote::OptionError& error) {
        std::cerr << "quorla-remote: " << error.what()
                  << "\nTry 'quorla-remote --help' for the options.\n";
        return 2;
    }
    using Kind = remote::Command::Kind;
    if (options.isHelpRequested || (options.command && options.command->kind == Kind::help)) {
        std::cout << (options.isHelpRequested ? remote::remoteHelpText()
                                              : std::string(remote::commandHelp));
        return 0;
    }
    if (options.command && options.command->kind == Kind::quit)
        return 0;
    try {
        // BlueZ answers a Disconnect after its own 2 s grace period; leaving earlier would
        // leave the device disconnecting for the next program to trip over.
        platform::linux_::EventLoop loop(std::chrono::seconds(6));
        remote::RemoteSession session(loop, {options.service, options.adapterName, options.timeout},
                                      {options.command, options.settle}, std::cout, std::cerr);
        const int status = loop.run(session);
        return status != 0 ? 1 : session.exitStatus();
    } catch (const std::exception& error) {
        std::cerr << "quorla-remote: " << error.what() << '\n';
        return 1;
    }
}

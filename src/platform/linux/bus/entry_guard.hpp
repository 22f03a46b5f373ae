#pragma once

#include <systemd/sd-bus.h>

#include <exception>
#include <ostream>
#include <string>
#include <utility>

#include "platform/linux/bus/bluez_names.hpp"
#include "platform/linux/bus/sd_owners.hpp"

// The one rule where C calls into C++: every sd-bus handler (method, property, signal,
// reply) and every sd-event source (I/O, timer, signal, defer) runs its body through
// guardInput or guardWork, so no exception ever unwinds into sd-bus's or sd-event's C code.
//
// What a failure does depends on what failed, not on which callback it surfaced in:
//
// - It ends the program with status 1 (one line on stderr, then the loop's termination
//   path, so that the exit tasks still leave BlueZ clean) when
//   * the plumbing failed (a BusFailure: an sd-bus or sd-event call that builds, sends,
//     attaches or schedules failed, so the bus or the loop itself is broken), wherever
//     that happens; or
//   * anything escaped the program's own work (guardWork: timers, queued work, signals),
//     since nobody else would hear of it and the agent would look alive while, say, a
//     registration is never asked again.
// - It is logged in one line and the input dropped, the program going on, when anything
//   else escapes the handling of one input from outside (guardInput: a bus method call,
//   signal or reply, a console line): a malformed message, a core exception. A method
//   call is answered with org.bluez.Error.Failed, so its caller is not left waiting. The
//   failure concerns that input alone; the next one may well succeed.
namespace quorla::platform::linux_ {

// Ends the program with status 1 through the running event loop's termination path, after
// printing what on stderr; without a loop, at once.
void endProgram(const std::string& what) noexcept;

// Handles one input from outside. logged hears a failure that does not end the program;
// error is sd-bus's error of a method call or property, null where no answer is due.
template <typename Logged, typename Body>
int guardInput(Logged&& logged, sd_bus_error* error, Body&& body) noexcept {
    std::string fatal;
    try {
        return body();
    } catch (const BusFailure& failure) {
        fatal = failure.what();
    } catch (const std::exception& failure) {
        try {
            logged(failure);
        } catch (...) {
        }
        return error ? sd_bus_error_set(error, bluez::error::failed, failure.what()) : 0;
    } catch (...) {
        fatal = "an exception of unknown type";
    }
    endProgram(fatal);
    return error ? sd_bus_error_set(error, bluez::error::failed, fatal.c_str()) : 0;
}

// The same, logged as one line "who: what" on log.
template <typename Body>
int guardInput(std::ostream& log, const char* who, sd_bus_error* error, Body&& body) noexcept {
    return guardInput(
        [&](const std::exception& failure) { log << who << ": " << failure.what() << '\n'; }, error,
        std::forward<Body>(body));
}

// Runs the program's own work: whatever escapes it ends the program.
template <typename Body>
void guardWork(Body&& body) noexcept {
    try {
        body();
    } catch (const std::exception& failure) {
        endProgram(failure.what());
    } catch (...) {
        endProgram("an exception of unknown type");
    }
}

}  // namespace quorla::platform::linux_

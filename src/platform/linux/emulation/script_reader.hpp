#pragma once

#include <memory>
#include <string_view>

#include "platform/scripting.hpp"

namespace quorla::platform::linux_ {

class EmulatedClient;

// A script's text as the emulated client and System Events would read it: the shortcuts a
// toggle script types into "zoom.us", and the menu titles a "checkStatus" handler looks up.
// Scripts are not interpreted; a text that reads otherwise does nothing.
struct ReadScript;

std::shared_ptr<const ReadScript> readScript(std::string_view source);

// A script that carries out what was read on client, which must outlive it.
std::unique_ptr<platform::Script> makeScript(EmulatedClient& client,
                                             std::shared_ptr<const ReadScript> script);

}  // namespace quorla::platform::linux_

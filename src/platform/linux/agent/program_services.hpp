#pragma once

#include "platform/linux/agent/settings_file.hpp"
#include "platform/linux/emulation/emulated_client.hpp"

namespace quorla::platform::linux_ {

// The objects behind the program's process-wide services: scriptingEngine() is the
// emulated client, standardUserDefaults() the settings file. main makes them current
// before the application runs; both must outlive every use.
void useProgramServices(EmulatedClient& client, SettingsFile& settings);

}  // namespace quorla::platform::linux_

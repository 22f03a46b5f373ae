// The process-wide platform services of the quorla program.
#include <cstdlib>
#include <iostream>

#include "platform/linux/agent/program_services.hpp"
#include "platform/linux/emulation/locale_languages.hpp"
#include "platform/preferred_languages.hpp"
#include "platform/scripting.hpp"
#include "platform/user_defaults.hpp"

namespace quorla::platform {

namespace {

linux_::EmulatedClient* programClient = nullptr;
linux_::SettingsFile* programSettings = nullptr;

// Reached only through a wiring mistake in main; there is no sensible service to offer.
template <typename Service>
Service& current(Service* service, const char* name) {
    if (!service) {
        std::cerr << "quorla: " << name << " used before main made it current\n";
        std::abort();
    }
    return *service;
}

}  // namespace

void linux_::useProgramServices(EmulatedClient& client, SettingsFile& settings) {
    programClient = &client;
    programSettings = &settings;
}

ScriptingEngine& scriptingEngine() {
    return current(programClient, "scriptingEngine()");
}

UserDefaults& standardUserDefaults() {
    return current(programSettings, "standardUserDefaults()");
}

std::vector<std::string> preferredLanguages() {
    return linux_::preferredLanguagesFrom([](const char* name) -> std::optional<std::string> {
        const char* value = std::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    });
}

}  // namespace quorla::platform

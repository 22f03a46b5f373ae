#include "platform/linux/remote/gatt_layout.hpp"

#include <algorithm>

#include "platform/linux/bluez/gatt_flags.hpp"

namespace quorla::remote {

namespace {

// As BlueZ names them, sorted, as the comparison needs them.
std::vector<std::string> expectedFlags() {
    auto flags = platform::linux_::bluezFlags(bluetooth::characteristicProperties,
                                              bluetooth::characteristicPermissions);
    std::sort(flags.begin(), flags.end());
    return flags;
}

bool isUuid(const std::string& text, const platform::Uuid& uuid) {
    const auto parsed = platform::Uuid::fromString(text);
    return parsed && *parsed == uuid;
}

std::string listed(const std::vector<std::string>& words) {
    std::string text;
    for (const auto& word : words)
        text += (text.empty() ? "" : ", ") + word;
    return text.empty() ? "none" : text;
}

std::string checkedPath(const ReportedGatt& gatt, const ReportedService& service,
                        const bluetooth::CharacteristicLayout& role) {
    const auto what = std::string(role.name) + " characteristic " + role.uuid().toString();
    std::vector<const ReportedCharacteristic*> found;
    for (const auto& characteristic : gatt.characteristics)
        if (characteristic.servicePath == service.path && isUuid(characteristic.uuid, role.uuid()))
            found.push_back(&characteristic);
    if (found.empty())
        throw LayoutMismatch("no " + what + " in the service");
    if (found.size() > 1)
        throw LayoutMismatch(std::to_string(found.size()) + " of the " + what + ", not one");
    auto flags = found.front()->flags;
    // BlueZ cannot require encryption for writes without declaring Write too, so an agent on
    // Linux that lets only paired companions in has it; the requests still go as commands.
    std::erase(flags, "write");
    std::sort(flags.begin(), flags.end());
    static const auto expected = expectedFlags();
    if (flags != expected)
        throw LayoutMismatch(
            "the " + what + " has the flags " + listed(found.front()->flags) + ", not " +
            listed(platform::linux_::bluezFlags(bluetooth::characteristicProperties,
                                                bluetooth::characteristicPermissions)));
    return found.front()->path;
}

}  // namespace

CharacteristicPaths checkLayout(const ReportedGatt& gatt, const platform::Uuid& serviceUuid) {
    std::vector<const ReportedService*> matching;
    for (const auto& service : gatt.services)
        if (isUuid(service.uuid, serviceUuid))
            matching.push_back(&service);
    const auto what = "service " + serviceUuid.toString();
    if (matching.empty())
        throw LayoutMismatch("no " + what);
    if (matching.size() > 1)
        throw LayoutMismatch(std::to_string(matching.size()) + " of the " + what + ", not one");

    CharacteristicPaths paths;
    for (std::size_t index = 0; index < roleCount; ++index)
        paths[index] = checkedPath(gatt, *matching.front(), bluetooth::gattLayout[index]);
    return paths;
}

}  // namespace quorla::remote

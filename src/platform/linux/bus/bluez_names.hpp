#pragma once

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

// BlueZ's D-Bus names, and the D-Bus names its API is built on: every one is spelled here
// once, so that a name BlueZ renames is changed in one place.
namespace quorla::platform::linux_::bluez {

inline constexpr const char* service = "org.bluez";
inline constexpr const char* root = "/org/bluez";  // the AgentManager1; adapters are below it

inline constexpr const char* adapterInterface = "org.bluez.Adapter1";
inline constexpr const char* deviceInterface = "org.bluez.Device1";
inline constexpr const char* gattManagerInterface = "org.bluez.GattManager1";
inline constexpr const char* gattServiceInterface = "org.bluez.GattService1";
inline constexpr const char* gattCharacteristicInterface = "org.bluez.GattCharacteristic1";
inline constexpr const char* advertisingManagerInterface = "org.bluez.LEAdvertisingManager1";
inline constexpr const char* advertisementInterface = "org.bluez.LEAdvertisement1";
inline constexpr const char* agentManagerInterface = "org.bluez.AgentManager1";
inline constexpr const char* agentInterface = "org.bluez.Agent1";

// The errors BlueZ answers with, and expects from the objects it calls.
namespace error {
inline constexpr const char* failed = "org.bluez.Error.Failed";
inline constexpr const char* alreadyExists = "org.bluez.Error.AlreadyExists";
inline constexpr const char* doesNotExist = "org.bluez.Error.DoesNotExist";
inline constexpr const char* rejected = "org.bluez.Error.Rejected";
inline constexpr const char* invalidArguments = "org.bluez.Error.InvalidArguments";
inline constexpr const char* invalidOffset = "org.bluez.Error.InvalidOffset";
inline constexpr const char* invalidValueLength = "org.bluez.Error.InvalidValueLength";
inline constexpr const char* notPermitted = "org.bluez.Error.NotPermitted";
inline constexpr const char* notAuthorized = "org.bluez.Error.NotAuthorized";
inline constexpr const char* notSupported = "org.bluez.Error.NotSupported";
}  // namespace error

// A device's object path is its adapter's path, "/dev_", and its address with '_' for ':'.
inline constexpr std::string_view devicePathMark = "/dev_";

// "/org/bluez/hci0" of "/org/bluez/hci0/dev_00_AA_01_01_00_01"; the path itself when it
// names no device.
inline std::string adapterOfDevice(std::string_view devicePath) {
    return std::string(devicePath.substr(0, devicePath.find(devicePathMark)));
}

// "00:AA:01:01:00:01" of "/org/bluez/hci0/dev_00_AA_01_01_00_01"; none when it names no device.
inline std::optional<std::string> addressOfDevice(std::string_view devicePath) {
    const auto mark = devicePath.find(devicePathMark);
    if (!devicePath.starts_with(root) || mark == std::string_view::npos)
        return std::nullopt;
    std::string address(devicePath.substr(mark + devicePathMark.size()));
    std::replace(address.begin(), address.end(), '_', ':');
    return address;
}

}  // namespace quorla::platform::linux_::bluez

// The bus's own names that BlueZ's API uses.
namespace quorla::platform::linux_::dbus {

inline constexpr const char* service = "org.freedesktop.DBus";
inline constexpr const char* objectManagerInterface = "org.freedesktop.DBus.ObjectManager";
inline constexpr const char* propertiesInterface = "org.freedesktop.DBus.Properties";

namespace error {
inline constexpr const char* prefix = "org.freedesktop.DBus.Error.";
inline constexpr const char* serviceUnknown = "org.freedesktop.DBus.Error.ServiceUnknown";
inline constexpr const char* nameHasNoOwner = "org.freedesktop.DBus.Error.NameHasNoOwner";
}  // namespace error

}  // namespace quorla::platform::linux_::dbus

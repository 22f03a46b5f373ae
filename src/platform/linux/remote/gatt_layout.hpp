#pragma once

#include <array>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "bluetooth/gatt_layout.hpp"
#include "platform/uuid.hpp"

namespace quorla::remote {

// What BlueZ reports of a connected device's GATT database (GattService1 and
// GattCharacteristic1 objects), as plain values.
struct ReportedService {
    std::string path;
    std::string uuid;
};
struct ReportedCharacteristic {
    std::string path;
    std::string servicePath;
    std::string uuid;
    std::vector<std::string> flags;
};
struct ReportedGatt {
    std::vector<ReportedService> services;
    std::vector<ReportedCharacteristic> characteristics;
};

// The agent's five characteristics, in the order the service holds them.
using Role = bluetooth::CharacteristicRole;
inline constexpr std::size_t roleCount = bluetooth::gattLayout.size();
inline std::string_view roleName(Role role) {
    return bluetooth::layoutOf(role).name;
}

// The object path of each characteristic, indexed by Role.
using CharacteristicPaths = std::array<std::string, roleCount>;

// what() is the one line naming how the device differs from a Quorla agent.
class LayoutMismatch : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// One service of serviceUuid holding the five characteristics, each with exactly the flags
// the agent publishes them with; throws LayoutMismatch otherwise. Other services and
// characteristics are left alone. Whether the service is primary is not asked: BlueZ 5.66
// writes a primary 128-bit service it discovered into its attribute cache as secondary
// (type 2801), so once bluetoothd restarts it reports a genuine agent's service as not
// primary.
CharacteristicPaths checkLayout(const ReportedGatt& gatt, const platform::Uuid& serviceUuid);

}  // namespace quorla::remote

#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quorla::platform::linux_ {

// BlueZ's names (GattCharacteristic1.Flags) for a characteristic's property and permission
// bits, in one order. The agent publishes them; a central compares what BlueZ reports of
// the agent's characteristics with them.
//
// An encrypt-* flag makes bluetoothd answer a central on an unencrypted link with
// Insufficient Encryption, and drop its Write Commands. BlueZ takes encrypt-write only
// together with write, so an encrypted request characteristic also declares write.
std::vector<std::string> bluezFlags(std::uint16_t properties, std::uint8_t permissions);

}  // namespace quorla::platform::linux_

#pragma once

#include <optional>
#include <string>

#include "platform/linux/remote/gatt_layout.hpp"

namespace quorla::remote {

// The service of the record name "abc".
inline const platform::Uuid abcService =
    platform::Uuid::fromString("B59E243A-CDC0-590E-813E-91A84F9E841C").value();

// What BlueZ reports of the agent for "abc" on device: its service among bluetoothd's own,
// characteristics in lower case as BlueZ writes them, but for the one at index without.
inline ReportedGatt reportedAgent(const std::string& device,
                                  std::optional<std::size_t> without = std::nullopt) {
    const char* uuids[] = {
        "e826e5d9-d84f-4bc0-a8e7-ee71933b7c30", "9544cc4b-ae2b-4d23-9988-91f785b4ebe0",
        "416e2079-70be-4be1-8df2-429652f50c67", "b6b279ab-e82f-4ca7-a083-1b3b6f08280b",
        "51e0b506-c88a-414e-9603-dabc63ebb6ba"};
    const auto service = device + "/service000a";
    ReportedGatt gatt{{{device + "/service0001", "00001801-0000-1000-8000-00805f9b34fb"},
                       {service, "b59e243a-cdc0-590e-813e-91a84f9e841c"}},
                      {}};
    for (std::size_t index = 0; index < 5; ++index)
        if (index != without)
            gatt.characteristics.push_back({service + "/char" + std::to_string(index),
                                            service,
                                            uuids[index],
                                            {"read", "write-without-response", "notify"}});
    return gatt;
}

}  // namespace quorla::remote

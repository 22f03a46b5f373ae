#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/uuid.hpp"

namespace quorla::platform {

using Bytes = std::vector<std::uint8_t>;

// The platform's manager states; only poweredOn means the radio is usable.
enum class ManagerState : int {
    unknown = 0,
    resetting = 1,
    unsupported = 2,
    unauthorized = 3,
    poweredOff = 4,
    poweredOn = 5,
};

namespace characteristic_property {
inline constexpr std::uint8_t read = 0x02;
inline constexpr std::uint8_t writeWithoutResponse = 0x04;
inline constexpr std::uint8_t write = 0x08;
inline constexpr std::uint8_t notify = 0x10;
// Only over an encrypted link may a central subscribe.
inline constexpr std::uint16_t notifyEncryptionRequired = 0x100;
}  // namespace characteristic_property

namespace attribute_permission {
inline constexpr std::uint8_t readable = 0x01;
inline constexpr std::uint8_t writeable = 0x02;
inline constexpr std::uint8_t readEncryptionRequired = 0x04;
inline constexpr std::uint8_t writeEncryptionRequired = 0x08;
}  // namespace attribute_permission

enum class AttResult : std::uint8_t { success = 0 };

// Created by the core and handed to the platform inside a Service. The platform passes
// the very same object back in requests and subscriptions, so the core tells its
// characteristics apart by identity, never by UUID.
struct Characteristic {
    Uuid type;
    std::uint16_t properties = 0;
    std::uint8_t permissions = 0;
};

using CharacteristicRef = std::shared_ptr<const Characteristic>;

struct Service {
    Uuid type;
    bool isPrimary = true;
    std::vector<CharacteristicRef> characteristics;
};

struct AdvertisementData {
    std::vector<Uuid> serviceUuids;
};

// One ATT read or write as the platform delivers it. For a read, the core fills in
// value before answering; the platform sends whatever value holds at that moment.
struct AttRequest {
    std::uint64_t id = 0;  // the platform's handle, so an answer finds its request
    CharacteristicRef characteristic;
    std::optional<Bytes> value;
    std::size_t offset = 0;
};

class PeripheralManager {
  public:
    virtual ~PeripheralManager() = default;

    virtual ManagerState state() const = 0;
    // Drops every service added so far; what is already gone is no error.
    virtual void removeAllServices() = 0;
    virtual void addService(const Service& service) = 0;
    virtual void startAdvertising(const AdvertisementData& advertisement) = 0;
    // Every request, read or write, must be answered exactly once.
    virtual void respond(const AttRequest& request, AttResult result) = 0;
    // Notifies every subscribed central. Returns false when the transmit queue is full;
    // the platform then calls isReadyToUpdateSubscribers once it has room again.
    virtual bool updateValue(const Bytes& value, const CharacteristicRef& characteristic) = 0;
};

// Every callback arrives on the main thread.
class PeripheralManagerDelegate {
  public:
    virtual ~PeripheralManagerDelegate() = default;

    virtual void didUpdateState(PeripheralManager& manager) = 0;
    virtual void didSubscribe(PeripheralManager& manager,
                              const CharacteristicRef& characteristic) = 0;
    virtual void didUnsubscribe(PeripheralManager& manager,
                                const CharacteristicRef& characteristic) = 0;
    virtual void isReadyToUpdateSubscribers(PeripheralManager& manager) = 0;
    virtual void didReceiveReadRequest(PeripheralManager& manager, AttRequest& request) = 0;
    // One batch, in the order the central wrote it.
    virtual void didReceiveWriteRequests(PeripheralManager& manager,
                                         const std::vector<AttRequest>& requests) = 0;
};

}  // namespace quorla::platform

#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/peripheral.hpp"

namespace quorla::fakes {

// Stands in for the platform's peripheral role. It records every call the core makes,
// in order, and lets a test act as the radio and as a central.
class FakePeripheralManager final : public platform::PeripheralManager {
  public:
    struct Response {
        std::uint64_t requestId;
        platform::AttResult result;
        std::optional<platform::Bytes> value;
    };
    struct Update {
        platform::Bytes value;
        platform::CharacteristicRef characteristic;
        bool accepted;
    };
    struct Write {
        platform::CharacteristicRef characteristic;
        std::optional<platform::Bytes> value;
    };

    explicit FakePeripheralManager(platform::PeripheralManagerDelegate& delegate)
        : delegate_(delegate) {}

    platform::ManagerState state() const override { return state_; }
    void addService(const platform::Service& service) override;
    void startAdvertising(const platform::AdvertisementData& advertisement) override;
    void respond(const platform::AttRequest& request, platform::AttResult result) override;
    bool updateValue(const platform::Bytes& value,
                     const platform::CharacteristicRef& characteristic) override;

    // The radio and the central.
    void simulateState(platform::ManagerState state);
    // Returns the answer the central received.
    Response simulateRead(const platform::CharacteristicRef& characteristic,
                          std::size_t offset = 0);
    void simulateSubscribe(const platform::CharacteristicRef& characteristic);
    void simulateUnsubscribe(const platform::CharacteristicRef& characteristic);
    // Delivers one batch; returns the ids given to its requests, in order.
    std::vector<std::uint64_t> simulateWrites(const std::vector<Write>& writes);
    void simulateReadyToUpdate();

    // The characteristic of the last added service with this UUID, as a central sees it.
    platform::CharacteristicRef publishedCharacteristic(const platform::Uuid& uuid) const;

    // A full transmit queue: updates are refused while set.
    bool refuseUpdates = false;

    std::vector<platform::Service> addedServices;
    std::vector<platform::AdvertisementData> advertisements;
    std::vector<Response> responses;
    std::vector<Update> updates;
    // Every call on this manager, in order: "addService", "startAdvertising",
    // "respond #<id>", "update <hex>" or "update refused <hex>".
    std::vector<std::string> calls;

  private:
    void record(std::string call);

    platform::PeripheralManagerDelegate& delegate_;
    platform::ManagerState state_ = platform::ManagerState::unknown;
    std::uint64_t nextRequestId_ = 1;
};

// Upper-case hexadecimal of bytes, as the call records write them.
std::string hex(const platform::Bytes& bytes);

}  // namespace quorla::fakes

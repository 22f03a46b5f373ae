#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/peripheral.hpp"

namespace quorla::fakes {

// Stands in for the platform's peripheral role and lets a test act as the radio and as a
// central. Records "addService", "advertise <service UUID>", "respond #<id>",
// "update <hex>" and "update refused <hex>" in the call log.
class FakePeripheralManager final : public platform::PeripheralManager {
  public:
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

    void simulateState(platform::ManagerState state);
    // The value the central receives; the read must be answered exactly once.
    std::optional<platform::Bytes> simulateRead(const platform::CharacteristicRef& characteristic,
                                                std::size_t offset = 0);
    void simulateSubscribe(const platform::CharacteristicRef& characteristic);
    // One batch; its requests are numbered on from the last, starting at #1.
    void simulateWrites(const std::vector<Write>& writes);
    void simulateReadyToUpdate();

    // The characteristic of the last added service with this UUID, as a central sees it.
    platform::CharacteristicRef published(const platform::Uuid& uuid) const;

    // A full transmit queue: updates are refused while set.
    bool refuseUpdates = false;
    std::vector<platform::Service> services;

  private:
    platform::PeripheralManagerDelegate& delegate_;
    platform::ManagerState state_ = platform::ManagerState::unknown;
    std::uint64_t nextRequestId_ = 1;
    int answers_ = 0;
};

// Upper-case hexadecimal of bytes, as the call log writes them.
std::string hex(const platform::Bytes& bytes);

}  // namespace quorla::fakes

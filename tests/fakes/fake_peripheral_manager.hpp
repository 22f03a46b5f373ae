#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fakes/call_log.hpp"
#include "platform/peripheral.hpp"

namespace quorla::fakes {

// Upper-case hexadecimal of bytes, as the call log writes them.
inline std::string hex(const platform::Bytes& bytes) {
    std::string text;
    for (auto byte : bytes)
        text += {"0123456789ABCDEF"[byte >> 4], "0123456789ABCDEF"[byte & 0x0F]};
    return text;
}

// Stands in for the platform's peripheral role and lets a test act as the radio and as a
// central. Records "removeAllServices", "addService", "advertise <service UUIDs>",
// "respond #<id>", "update <hex>" and "update refused <hex>" in the call log.
class FakePeripheralManager final : public platform::PeripheralManager {
  public:
    // The characteristic written and the bytes, if any.
    using Write = std::pair<platform::CharacteristicRef, std::optional<platform::Bytes>>;

    explicit FakePeripheralManager(platform::PeripheralManagerDelegate& delegate)
        : delegate_(delegate) {}

    platform::ManagerState state() const override { return state_; }
    void removeAllServices() override {
        services.clear();
        CallLog::shared().add("removeAllServices");
    }
    void addService(const platform::Service& service) override {
        services.push_back(service);
        CallLog::shared().add("addService");
    }
    void startAdvertising(const platform::AdvertisementData& advertisement) override {
        std::string entry = "advertise";
        for (const auto& uuid : advertisement.serviceUuids)
            entry += " " + uuid.toString();
        CallLog::shared().add(entry);
    }
    void respond(const platform::AttRequest& request, platform::AttResult) override {
        ++answers_;
        CallLog::shared().add("respond #" + std::to_string(request.id));
    }
    bool updateValue(const platform::Bytes& value, const platform::CharacteristicRef&) override {
        CallLog::shared().add((refuseUpdates ? "update refused " : "update ") + hex(value));
        return !refuseUpdates;
    }

    void simulateState(platform::ManagerState state) {
        state_ = state;
        delegate_.didUpdateState(*this);
    }
    // The value the central receives; the read must be answered exactly once.
    std::optional<platform::Bytes> simulateRead(const platform::CharacteristicRef& target,
                                                std::size_t offset = 0) {
        platform::AttRequest request{nextRequestId_++, target, std::nullopt, offset};
        const auto answered = answers_;
        delegate_.didReceiveReadRequest(*this, request);
        EXPECT_EQ(answers_, answered + 1) << "an unanswered read hangs the central";
        return request.value;
    }
    void simulateSubscribe(const platform::CharacteristicRef& target) {
        delegate_.didSubscribe(*this, target);
    }
    // One batch; its requests are numbered on from the last, starting at #1.
    void simulateWrites(const std::vector<Write>& writes) {
        std::vector<platform::AttRequest> requests;
        for (const auto& [characteristic, value] : writes)
            requests.push_back({nextRequestId_++, characteristic, value, 0});
        delegate_.didReceiveWriteRequests(*this, requests);
    }
    void simulateReadyToUpdate() { delegate_.isReadyToUpdateSubscribers(*this); }

    // A full transmit queue: updates are refused while set.
    bool refuseUpdates = false;
    // The services published and not removed since.
    std::vector<platform::Service> services;

  private:
    platform::PeripheralManagerDelegate& delegate_;
    platform::ManagerState state_ = platform::ManagerState::unknown;
    std::uint64_t nextRequestId_ = 1;
    int answers_ = 0;
};

}  // namespace quorla::fakes

#include "fakes/fake_peripheral_manager.hpp"

#include <gtest/gtest.h>

#include "fakes/call_log.hpp"

namespace quorla::fakes {

std::string hex(const platform::Bytes& bytes) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    for (auto byte : bytes) {
        text += digits[byte >> 4];
        text += digits[byte & 0x0F];
    }
    return text;
}

void FakePeripheralManager::addService(const platform::Service& service) {
    services.push_back(service);
    CallLog::shared().add("addService");
}

void FakePeripheralManager::startAdvertising(const platform::AdvertisementData& advertisement) {
    std::string entry = "advertise";
    for (const auto& uuid : advertisement.serviceUuids)
        entry += " " + uuid.toString();
    CallLog::shared().add(entry);
}

void FakePeripheralManager::respond(const platform::AttRequest& request, platform::AttResult) {
    ++answers_;
    CallLog::shared().add("respond #" + std::to_string(request.id));
}

bool FakePeripheralManager::updateValue(const platform::Bytes& value,
                                        const platform::CharacteristicRef&) {
    CallLog::shared().add((refuseUpdates ? "update refused " : "update ") + hex(value));
    return !refuseUpdates;
}

void FakePeripheralManager::simulateState(platform::ManagerState state) {
    state_ = state;
    delegate_.didUpdateState(*this);
}

std::optional<platform::Bytes> FakePeripheralManager::simulateRead(
    const platform::CharacteristicRef& characteristic, std::size_t offset) {
    platform::AttRequest request{nextRequestId_++, characteristic, std::nullopt, offset};
    const auto answered = answers_;
    delegate_.didReceiveReadRequest(*this, request);
    // A read left unanswered would hang the central until it times out.
    EXPECT_EQ(answers_, answered + 1) << "a read must be answered exactly once";
    return request.value;
}

void FakePeripheralManager::simulateSubscribe(const platform::CharacteristicRef& characteristic) {
    delegate_.didSubscribe(*this, characteristic);
}

void FakePeripheralManager::simulateWrites(const std::vector<Write>& writes) {
    std::vector<platform::AttRequest> requests;
    for (const auto& write : writes)
        requests.push_back({nextRequestId_++, write.characteristic, write.value, 0});
    delegate_.didReceiveWriteRequests(*this, requests);
}

void FakePeripheralManager::simulateReadyToUpdate() {
    delegate_.isReadyToUpdateSubscribers(*this);
}

platform::CharacteristicRef FakePeripheralManager::published(const platform::Uuid& uuid) const {
    if (services.empty())
        return nullptr;
    for (const auto& characteristic : services.back().characteristics) {
        if (characteristic->type == uuid)
            return characteristic;
    }
    return nullptr;
}

}  // namespace quorla::fakes

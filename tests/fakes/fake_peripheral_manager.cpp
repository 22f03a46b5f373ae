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

void FakePeripheralManager::record(std::string call) {
    CallLog::shared().add(call);
    calls.push_back(std::move(call));
}

void FakePeripheralManager::addService(const platform::Service& service) {
    addedServices.push_back(service);
    record("addService");
}

void FakePeripheralManager::startAdvertising(const platform::AdvertisementData& advertisement) {
    advertisements.push_back(advertisement);
    record("startAdvertising");
}

void FakePeripheralManager::respond(const platform::AttRequest& request,
                                    platform::AttResult result) {
    responses.push_back({request.id, result, request.value});
    record("respond #" + std::to_string(request.id));
}

bool FakePeripheralManager::updateValue(const platform::Bytes& value,
                                        const platform::CharacteristicRef& characteristic) {
    updates.push_back({value, characteristic, !refuseUpdates});
    record((refuseUpdates ? "update refused " : "update ") + hex(value));
    return !refuseUpdates;
}

void FakePeripheralManager::simulateState(platform::ManagerState state) {
    state_ = state;
    delegate_.didUpdateState(*this);
}

FakePeripheralManager::Response FakePeripheralManager::simulateRead(
    const platform::CharacteristicRef& characteristic, std::size_t offset) {
    platform::AttRequest request{nextRequestId_++, characteristic, std::nullopt, offset};
    const auto answered = responses.size();
    delegate_.didReceiveReadRequest(*this, request);
    // A read the delegate leaves unanswered would hang the central until it times out.
    EXPECT_EQ(responses.size(), answered + 1) << "a read must be answered exactly once";
    if (responses.size() != answered + 1)
        return {request.id, platform::AttResult::success, {}};
    return responses.back();
}

void FakePeripheralManager::simulateSubscribe(const platform::CharacteristicRef& characteristic) {
    delegate_.didSubscribe(*this, characteristic);
}

void FakePeripheralManager::simulateUnsubscribe(const platform::CharacteristicRef& characteristic) {
    delegate_.didUnsubscribe(*this, characteristic);
}

std::vector<std::uint64_t> FakePeripheralManager::simulateWrites(const std::vector<Write>& writes) {
    std::vector<platform::AttRequest> requests;
    std::vector<std::uint64_t> ids;
    for (const auto& write : writes) {
        requests.push_back({nextRequestId_, write.characteristic, write.value, 0});
        ids.push_back(nextRequestId_++);
    }
    delegate_.didReceiveWriteRequests(*this, requests);
    return ids;
}

void FakePeripheralManager::simulateReadyToUpdate() {
    delegate_.isReadyToUpdateSubscribers(*this);
}

platform::CharacteristicRef FakePeripheralManager::publishedCharacteristic(
    const platform::Uuid& uuid) const {
    if (addedServices.empty())
        return nullptr;
    for (const auto& characteristic : addedServices.back().characteristics) {
        if (characteristic->type == uuid)
            return characteristic;
    }
    return nullptr;
}

}  // namespace quorla::fakes

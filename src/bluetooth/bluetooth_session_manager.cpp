#include "bluetooth/bluetooth_session_manager.hpp"

#include "bluetooth/gatt_layout.hpp"
#include "bluetooth/identifiers.hpp"
#include "bluetooth/status_byte.hpp"
#include "bluetooth/write_request_handling.hpp"
#include "platform/user_defaults.hpp"

namespace quorla::bluetooth {

namespace {

platform::CharacteristicRef makeCharacteristic(const platform::Uuid& type, bool isPairingRequired) {
    return std::make_shared<const platform::Characteristic>(
        isPairingRequired
            ? platform::Characteristic{type, pairedOnlyCharacteristicProperties,
                                       pairedOnlyCharacteristicPermissions}
            : platform::Characteristic{type, characteristicProperties, characteristicPermissions});
}

}  // namespace

BluetoothSessionManager& BluetoothSessionManager::shared() {
    static auto* manager = new BluetoothSessionManager;  // lives until the process ends
    return *manager;
}

std::uint8_t BluetoothSessionManager::statusByte() const {
    return encodeStatus({.isConnected = isConnected,
                         .isMicActive = isMicActive,
                         .isCameraActive = isCameraActive,
                         .isHandRaised = isHandRaised,
                         .isActiveSelected = isActiveSelected});
}

void BluetoothSessionManager::pushStatus() {
    if (!statusCharacteristic || !peripheralManager)
        return;
    sendStatus(statusByte());
}

void BluetoothSessionManager::sendStatus(std::uint8_t value) {
    const bool sent = peripheralManager->updateValue({value}, statusCharacteristic);
    refusedStatus_ = sent ? std::nullopt : std::optional(value);
}

void BluetoothSessionManager::didUpdateState(platform::PeripheralManager& manager) {
    publishService(manager);
}

// Every powered-on report builds everything anew. The platform forgets the earlier service
// when the radio resets or is taken away, but not when it is merely switched off and on,
// so the earlier one is removed first: a companion could otherwise find the stale copy,
// whose characteristics no longer lead anywhere.
void BluetoothSessionManager::publishService(platform::PeripheralManager& manager) {
    if (manager.state() != platform::ManagerState::poweredOn)
        return;
    const bool isPairingRequired =
        platform::standardUserDefaults().boolForKey(requirePairingDefaultsKey);
    platform::Service service{{}, true, {}};
    for (const auto& layout : gattLayout) {
        auto& field = characteristic(layout.role);
        field = makeCharacteristic(layout.uuid(), isPairingRequired);
        service.characteristics.push_back(field);
    }

    const auto serviceUuid = currentServiceUUID();
    if (!serviceUuid || !peripheralManager)
        return;
    service.type = *serviceUuid;
    peripheralManager->removeAllServices();
    peripheralManager->addService(service);
    peripheralManager->startAdvertising({{*serviceUuid}});
}

platform::CharacteristicRef& BluetoothSessionManager::characteristic(CharacteristicRole role) {
    switch (role) {
        case CharacteristicRole::status:
            return statusCharacteristic;
        case CharacteristicRole::mic:
            return micRequestCharacteristic;
        case CharacteristicRole::camera:
            return cameraRequestCharacteristic;
        case CharacteristicRole::hand:
            return handRequestCharacteristic;
        case CharacteristicRole::active:
            break;
    }
    return activeRequestCharacteristic;
}

void BluetoothSessionManager::didSubscribe(platform::PeripheralManager&,
                                           const platform::CharacteristicRef& characteristic) {
    if (statusCharacteristic && characteristic == statusCharacteristic)
        pushStatus();
}

void BluetoothSessionManager::didUnsubscribe(platform::PeripheralManager&,
                                             const platform::CharacteristicRef&) {}

void BluetoothSessionManager::isReadyToUpdateSubscribers(platform::PeripheralManager&) {
    if (refusedStatus_ && statusCharacteristic && peripheralManager)
        sendStatus(*refusedStatus_);
}

void BluetoothSessionManager::didReceiveReadRequest(platform::PeripheralManager& manager,
                                                    platform::AttRequest& request) {
    // The value is one byte, so whatever offset was asked the whole byte is given.
    if (statusCharacteristic && request.characteristic == statusCharacteristic) {
        request.value = platform::Bytes{statusByte()};
    }
    manager.respond(request, platform::AttResult::success);
}

void BluetoothSessionManager::didReceiveWriteRequests(
    platform::PeripheralManager& manager, const std::vector<platform::AttRequest>& requests) {
    handleWriteRequests(manager, requests,
                        {micRequestCharacteristic, cameraRequestCharacteristic,
                         handRequestCharacteristic, activeRequestCharacteristic});
}

}  // namespace quorla::bluetooth

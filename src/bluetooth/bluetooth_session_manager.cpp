#include "bluetooth/bluetooth_session_manager.hpp"

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
    statusCharacteristic = makeCharacteristic(statusCharacteristicUUID(), isPairingRequired);
    micRequestCharacteristic =
        makeCharacteristic(micRequestCharacteristicUUID(), isPairingRequired);
    cameraRequestCharacteristic =
        makeCharacteristic(cameraRequestCharacteristicUUID(), isPairingRequired);
    handRequestCharacteristic =
        makeCharacteristic(handRequestCharacteristicUUID(), isPairingRequired);
    activeRequestCharacteristic =
        makeCharacteristic(activeRequestCharacteristicUUID(), isPairingRequired);

    const auto serviceUuid = currentServiceUUID();
    if (!serviceUuid || !peripheralManager)
        return;
    peripheralManager->removeAllServices();
    peripheralManager->addService(
        {*serviceUuid,
         true,
         {statusCharacteristic, micRequestCharacteristic, cameraRequestCharacteristic,
          handRequestCharacteristic, activeRequestCharacteristic}});
    peripheralManager->startAdvertising({{*serviceUuid}});
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

#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "bluetooth/gatt_layout.hpp"
#include "platform/peripheral.hpp"

namespace quorla::bluetooth {

// The Mac's side of the link: publishes the service when the radio is powered on, holds
// the meeting-status flags and sends their one-byte encoding to subscribed companions.
class BluetoothSessionManager final : public platform::PeripheralManagerDelegate {
  public:
    // The process-wide instance; never destroyed.
    static BluetoothSessionManager& shared();

    // Set by the application shell before the platform delivers any callback.
    std::unique_ptr<platform::PeripheralManager> peripheralManager;

    platform::CharacteristicRef statusCharacteristic;
    platform::CharacteristicRef micRequestCharacteristic;
    platform::CharacteristicRef cameraRequestCharacteristic;
    platform::CharacteristicRef handRequestCharacteristic;
    platform::CharacteristicRef activeRequestCharacteristic;

    bool isConnected = false;
    bool isMicActive = false;
    bool isCameraActive = false;
    bool isHandRaised = false;
    bool isActiveSelected = false;

    // The field that holds the characteristic of that role.
    platform::CharacteristicRef& characteristic(CharacteristicRole role);

    std::uint8_t statusByte() const;
    // Sends the status byte to every subscriber; nothing before the service is built.
    void pushStatus();

    void didUpdateState(platform::PeripheralManager& manager) override;
    void didSubscribe(platform::PeripheralManager& manager,
                      const platform::CharacteristicRef& characteristic) override;
    void didUnsubscribe(platform::PeripheralManager& manager,
                        const platform::CharacteristicRef& characteristic) override;
    void isReadyToUpdateSubscribers(platform::PeripheralManager& manager) override;
    void didReceiveReadRequest(platform::PeripheralManager& manager,
                               platform::AttRequest& request) override;
    void didReceiveWriteRequests(platform::PeripheralManager& manager,
                                 const std::vector<platform::AttRequest>& requests) override;

  private:
    void publishService(platform::PeripheralManager& manager);
    void sendStatus(std::uint8_t value);

    // A value the platform refused for a full transmit queue, sent once it has room;
    // otherwise a companion could keep showing a meeting that has ended.
    std::optional<std::uint8_t> refusedStatus_;
};

}  // namespace quorla::bluetooth

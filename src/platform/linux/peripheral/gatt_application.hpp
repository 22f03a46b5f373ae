#pragma once

#include <systemd/sd-bus.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/linux/bluez/bluez_owner.hpp"
#include "platform/linux/bus/event_loop.hpp"
#include "platform/linux/bus/sd_owners.hpp"
#include "platform/peripheral.hpp"

namespace quorla::platform::linux_ {

// The core's service as BlueZ reads it: a GATT application under an ObjectManager of our
// own, a GattService1 object and a GattCharacteristic1 object per characteristic, and the
// ATT traffic BlueZ forwards to them. Reads and writes reach the delegate as the core's
// requests and wait for its answer (respond).
//
// Notifications: updateValue never refuses for a full queue. A PropertiesChanged signal on
// Value is all BlueZ needs to notify, and bluetoothd queues the ATT notifications itself;
// only a signal that cannot be sent at all is a refusal, followed by
// isReadyToUpdateSubscribers a moment later.
class GattApplication {
  public:
    static constexpr const char* path = "/org/quorla/application";

    // manager: what the delegate is told the requests come from. Only bluez's calls reach it.
    GattApplication(sd_bus* bus, BluezOwner& bluez, EventLoop& loop,
                    platform::PeripheralManager& manager,
                    platform::PeripheralManagerDelegate& delegate, std::ostream& trace);
    ~GattApplication();
    GattApplication(const GattApplication&) = delete;
    GattApplication& operator=(const GattApplication&) = delete;

    // Replaces the objects of the previous service; BlueZ reads them when the application
    // is registered again. Returns the service's UUID as BlueZ lists it.
    std::string publish(const platform::Service& service);
    void respond(const platform::AttRequest& request, platform::AttResult result);
    bool updateValue(const platform::Bytes& value,
                     const platform::CharacteristicRef& characteristic);

  private:
    struct ServiceObject;
    struct CharacteristicObject;
    struct PendingRequest {
        MessageOwner call;
        bool isRead = false;
    };

    static int onGetManagedObjects(sd_bus_message* call, void* userdata, sd_bus_error* error);
    static int screenCharacteristicCall(sd_bus_message* call, void* userdata, sd_bus_error* error);
    static int getServiceProperty(sd_bus*, const char*, const char*, const char* property,
                                  sd_bus_message* reply, void* userdata, sd_bus_error*);
    static int getCharacteristicProperty(sd_bus*, const char*, const char*, const char* property,
                                         sd_bus_message* reply, void* userdata, sd_bus_error*);
    static int onReadValue(sd_bus_message* call, void* userdata, sd_bus_error* error);
    static int onWriteValue(sd_bus_message* call, void* userdata, sd_bus_error* error);
    static int onStartNotify(sd_bus_message* call, void* userdata, sd_bus_error* error);
    static int onStopNotify(sd_bus_message* call, void* userdata, sd_bus_error* error);
    static const sd_bus_vtable* serviceVtable();
    static const sd_bus_vtable* characteristicVtable();

    void exportCharacteristic(const platform::CharacteristicRef& characteristic);
    void answerManagedObjects(sd_bus_message* call);
    void deliverRequest(sd_bus_message* call, const CharacteristicObject& object,
                        std::optional<platform::Bytes> value, std::uint16_t offset);
    void answer(sd_bus_message* call, const PendingRequest& pending,
                const platform::AttRequest& request, platform::AttResult result);
    void notifyLater();

    sd_bus* bus_;
    BluezOwner& bluez_;
    EventLoop& loop_;
    platform::PeripheralManager& manager_;
    platform::PeripheralManagerDelegate& delegate_;
    std::ostream& trace_;

    SlotOwner objectManager_;
    std::unique_ptr<ServiceObject> service_;
    std::vector<std::unique_ptr<CharacteristicObject>> characteristics_;
    std::uint64_t nextRequestId_ = 1;
    std::map<std::uint64_t, PendingRequest> pendingRequests_;
    std::unique_ptr<platform::Timer> notificationRetry_;
};

}  // namespace quorla::platform::linux_

#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/linux/event_loop.hpp"
#include "platform/linux/sd_owners.hpp"
#include "platform/peripheral.hpp"

namespace quorla::platform::linux_ {

// The peripheral role over BlueZ's D-Bus API on the system bus. The core's service becomes a
// GATT application that BlueZ reads through our ObjectManager; its advertisement an
// LEAdvertisement1 object. Every call to BlueZ is asynchronous, because BlueZ calls back
// into us (GetManagedObjects, GetAll) before it answers a registration.
//
// Notifications: updateValue never refuses for a full queue. A PropertiesChanged signal on
// Value is all BlueZ needs to notify, and bluetoothd queues the ATT notifications itself;
// only a signal that cannot be sent at all is a refusal, followed by
// isReadyToUpdateSubscribers a moment later.
class BluezPeripheralManager final : public platform::PeripheralManager {
  public:
    // adapterName: "hci0" and the like; none takes the first adapter BlueZ lists. The
    // application and advertisement are unregistered from BlueZ when the loop terminates.
    BluezPeripheralManager(EventLoop& loop, platform::PeripheralManagerDelegate& delegate,
                           std::optional<std::string> adapterName, std::ostream& trace);
    ~BluezPeripheralManager() override;
    BluezPeripheralManager(const BluezPeripheralManager&) = delete;
    BluezPeripheralManager& operator=(const BluezPeripheralManager&) = delete;

    platform::ManagerState state() const override { return state_; }
    void addService(const platform::Service& service) override;
    void startAdvertising(const platform::AdvertisementData& advertisement) override;
    void respond(const platform::AttRequest& request, platform::AttResult result) override;
    bool updateValue(const platform::Bytes& value,
                     const platform::CharacteristicRef& characteristic) override;

  private:
    struct CharacteristicObject;
    // One thing we ask BlueZ to hold (the application or the advertisement). What the core
    // wants is compared with what BlueZ holds whenever a reply arrives or the core asks
    // again, so a request made while a call is in flight waits for that call's reply.
    struct Registration {
        enum class Phase { idle, registering, held, unregistering };
        BluezPeripheralManager* owner;
        const char* what;
        const char* managerInterface;
        const char* registerMethod;
        const char* unregisterMethod;
        std::string path;
        bool isWanted = false;
        std::uint64_t generation = 0;  // bumped each time the core asks anew
        Phase phase = Phase::idle;
        std::string adapterPath{};  // where it is held or being registered
        std::uint64_t heldGeneration = 0;
        SlotOwner call{};
    };

    struct ServiceObject {
        BluezPeripheralManager* owner;
        std::string path;
        std::string uuid;
        bool isPrimary = true;
        SlotOwner vtable;
    };

    struct PendingRequest {
        MessageOwner call;
        bool isRead = false;
    };

    static int onNameOwnerChanged(sd_bus_message* message, void* userdata, sd_bus_error*);
    static int onInterfacesAdded(sd_bus_message* message, void* userdata, sd_bus_error*);
    static int onInterfacesRemoved(sd_bus_message* message, void* userdata, sd_bus_error*);
    static int onPropertiesChanged(sd_bus_message* message, void* userdata, sd_bus_error*);
    static int onManagedObjects(sd_bus_message* reply, void* userdata, sd_bus_error*);
    static int onRegistrationReply(sd_bus_message* reply, void* userdata, sd_bus_error*);
    static int onRelease(sd_bus_message* message, void* userdata, sd_bus_error*);
    static int onRetryNotification(sd_event_source*, std::uint64_t, void* userdata);
    static int getAdvertisementProperty(sd_bus*, const char*, const char*, const char* property,
                                        sd_bus_message* reply, void* userdata, sd_bus_error*);
    static int getServiceProperty(sd_bus*, const char*, const char*, const char* property,
                                  sd_bus_message* reply, void* userdata, sd_bus_error*);
    static int getCharacteristicProperty(sd_bus*, const char*, const char*, const char* property,
                                         sd_bus_message* reply, void* userdata, sd_bus_error*);
    static int onApplicationCall(sd_bus_message* call, void* userdata, sd_bus_error* error);
    static int rejectMalformedCall(sd_bus_message* call, void*, sd_bus_error* error);
    static int onReadValue(sd_bus_message* call, void* userdata, sd_bus_error* error);
    static int onWriteValue(sd_bus_message* call, void* userdata, sd_bus_error* error);
    static int onStartNotify(sd_bus_message* call, void* userdata, sd_bus_error* error);
    static int onStopNotify(sd_bus_message* call, void* userdata, sd_bus_error* error);
    static const sd_bus_vtable* serviceVtable();
    static const sd_bus_vtable* characteristicVtable();
    static const sd_bus_vtable* advertisementVtable();

    void watchBluez();
    void requestManagedObjects();
    void readAdapterInterfaces(sd_bus_message* message, const std::string& path);
    void bluezGone();
    void forgetRegistrationsOn(const std::optional<std::string>& adapterPath);
    std::optional<std::string> chosenAdapter() const;
    void updateState();

    void reconcile(Registration& registration);
    void callRegistration(Registration& registration, const char* method);
    void registrationReplied(Registration& registration, sd_bus_message* reply);
    void leaveBluez(std::function<void()> finished);
    void finishIfLeft();

    void deliverRequest(sd_bus_message* call, const CharacteristicObject& object,
                        std::optional<platform::Bytes> value, std::uint16_t offset);

    EventLoop& loop_;
    platform::PeripheralManagerDelegate& delegate_;
    std::optional<std::string> adapterName_;
    std::ostream& trace_;

    BusOwner bus_;
    std::vector<SlotOwner> watches_;
    SlotOwner managedObjectsCall_;
    SlotOwner objectManager_;  // GetManagedObjects of the application
    SlotOwner advertisementVtable_;
    EventSourceOwner retrySource_;
    std::uint64_t exitTaskId_ = 0;

    bool isBluezPresent_ = false;
    std::map<std::string, bool> adapters_;  // object path -> powered
    bool hasReportedState_ = false;
    platform::ManagerState state_ = platform::ManagerState::unknown;
    std::optional<std::string> reportedAdapter_;

    std::optional<ServiceObject> service_;
    std::vector<std::unique_ptr<CharacteristicObject>> characteristics_;
    std::vector<std::string> advertisedUuids_;
    Registration application_;
    Registration advertisement_;

    std::uint64_t nextRequestId_ = 1;
    std::map<std::uint64_t, PendingRequest> pendingRequests_;

    bool isTerminating_ = false;
    std::function<void()> onLeft_;
};

}  // namespace quorla::platform::linux_

#pragma once

#include <systemd/sd-bus.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "platform/linux/bluez/adapter_choice.hpp"
#include "platform/linux/bluez/bluez_owner.hpp"
#include "platform/linux/bluez/bluez_watch.hpp"
#include "platform/linux/bus/event_loop.hpp"
#include "platform/linux/bus/sd_owners.hpp"
#include "platform/linux/peripheral/gatt_application.hpp"
#include "platform/linux/peripheral/le_advertisement.hpp"
#include "platform/linux/peripheral/registration.hpp"
#include "platform/peripheral.hpp"

namespace quorla::platform::linux_ {

// The peripheral role over BlueZ's D-Bus API on the system bus, composed of its parts: the
// watch on bluetoothd and its adapters, the choice of adapter, the exported GATT application
// and advertisement, and a registration of each with BlueZ. Every call to BlueZ is
// asynchronous, because BlueZ calls back into us (GetManagedObjects, GetAll) before it
// answers a registration.
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
    // The object path of the adapter chosen, powered or not.
    std::optional<std::string> adapterInUse() const { return adapters_.choice().adapter; }
    // The application holds one service, which addService replaces, and its registration
    // unregisters the stale one before registering anew: there is nothing else to drop.
    void removeAllServices() override {}
    void addService(const platform::Service& service) override;
    void startAdvertising(const platform::AdvertisementData& advertisement) override;
    void respond(const platform::AttRequest& request, platform::AttResult result) override {
        application_.respond(request, result);
    }
    bool updateValue(const platform::Bytes& value,
                     const platform::CharacteristicRef& characteristic) override {
        return application_.updateValue(value, characteristic);
    }

  private:
    // The bus side of one Registration: the call it asked for and its retry timer.
    struct Registrar {
        BluezPeripheralManager* owner;
        const char* what;
        const char* path;
        const char* managerInterface;
        const char* registerMethod;
        const char* unregisterMethod;
        Registration machine{};
        SlotOwner call{};
        bool isRegistering = false;  // the call in flight, or the last one
        std::string adapter{};       // where it went
        std::unique_ptr<platform::Timer> retry{};
    };

    static int onRegistrationReply(sd_bus_message* reply, void* userdata, sd_bus_error*);
    void perform(Registrar& registrar, const Registration::Step& step);
    void call(Registrar& registrar, bool isRegistering, const std::string& adapter);
    void retryLater(Registrar& registrar, platform::Seconds delay);
    void replied(Registrar& registrar, sd_bus_message* reply);
    void traceReply(const Registrar& registrar, sd_bus_message* reply,
                    const Registration::Outcome& outcome);
    void adaptersChanged();
    void dropped(const std::optional<std::string>& adapter);
    void reportState(const AdapterChoice::Choice& choice);
    void leaveBluez(std::function<void()> finished);
    void finishIfLeft();

    EventLoop& loop_;
    platform::PeripheralManagerDelegate& delegate_;
    std::ostream& trace_;
    BusOwner bus_;           // first in, last out: every slot below belongs to it
    BluezOwner bluezOwner_;  // the only caller the application and advertisement believe
    AdapterChoice adapters_;
    platform::ManagerState state_ = platform::ManagerState::unknown;
    GattApplication application_;
    LeAdvertisement advertisement_;
    Registrar applicationRegistration_;
    Registrar advertisementRegistration_;
    std::function<void()> onLeft_;
    std::uint64_t exitTaskId_ = 0;
    BluezWatch watch_;  // last: its first answer may arrive once the loop runs
};

}  // namespace quorla::platform::linux_

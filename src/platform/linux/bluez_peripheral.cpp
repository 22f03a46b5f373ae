#include "platform/linux/bluez_peripheral.hpp"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <utility>

#include "platform/linux/bus_messages.hpp"

namespace quorla::platform::linux_ {

namespace {

constexpr const char* bluezName = "org.bluez";
constexpr const char* adapterInterface = "org.bluez.Adapter1";
constexpr const char* serviceInterface = "org.bluez.GattService1";
constexpr const char* characteristicInterface = "org.bluez.GattCharacteristic1";
constexpr const char* advertisementInterface = "org.bluez.LEAdvertisement1";
constexpr const char* invalidArguments = "org.bluez.Error.InvalidArguments";
constexpr const char* applicationPath = "/org/quorla/application";
constexpr const char* advertisementPath = "/org/quorla/advertisement";
constexpr std::uint64_t notificationRetryUsec = 100'000;

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string adapterName(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

std::string hex(const platform::Bytes& bytes) {
    std::string text;
    char digits[3];
    for (auto byte : bytes) {
        std::snprintf(digits, sizeof digits, "%02X", byte);
        text += digits;
    }
    return text;
}

std::vector<const char*> flagsOf(std::uint8_t properties) {
    namespace bits = platform::characteristic_property;
    static constexpr std::pair<std::uint8_t, const char*> names[] = {
        {bits::read, "read"},
        {bits::writeWithoutResponse, "write-without-response"},
        {bits::write, "write"},
        {bits::notify, "notify"},
    };
    std::vector<const char*> flags;
    for (auto [bit, name] : names)
        if (properties & bit)
            flags.push_back(name);
    return flags;
}

// The D-Bus errors from which bluetoothd derives the ATT error it sends the central.
const char* bluezErrorFor(std::uint8_t attError) {
    switch (attError) {
        case 0x02:  // read not permitted
        case 0x03:  // write not permitted
            return "org.bluez.Error.NotPermitted";
        case 0x06:
            return "org.bluez.Error.NotSupported";
        case 0x07:
            return "org.bluez.Error.InvalidOffset";
        case 0x08:
            return "org.bluez.Error.NotAuthorized";
        case 0x0D:
            return "org.bluez.Error.InvalidValueLength";
        default:
            return "org.bluez.Error.Failed";
    }
}

bool readOffset(sd_bus_message* message, std::uint16_t& offset) {
    return readOption(message, "offset", "q", [&] {
        check(sd_bus_message_read_basic(message, 'q', &offset), "sd_bus_message_read_basic");
    });
}

using PropertyList = std::initializer_list<std::pair<const char*, const char*>>;  // name, type
constexpr PropertyList serviceProperties = {{"UUID", "s"}, {"Primary", "b"}};
constexpr PropertyList characteristicProperties = {
    {"UUID", "s"}, {"Service", "o"}, {"Flags", "as"}, {"Value", "ay"}};

// One {oa{sa{sv}}} entry of GetManagedObjects, its values written by the vtable's getter.
void appendObject(sd_bus_message* reply, const std::string& path, const char* interface,
                  PropertyList properties, sd_bus_property_get_t getter, void* userdata) {
    openContainer(reply, 'e', "oa{sa{sv}}");
    check(sd_bus_message_append_basic(reply, 'o', path.c_str()), "sd_bus_message_append_basic");
    openContainer(reply, 'a', "{sa{sv}}");
    openContainer(reply, 'e', "sa{sv}");
    check(sd_bus_message_append_basic(reply, 's', interface), "sd_bus_message_append_basic");
    openContainer(reply, 'a', "{sv}");
    for (auto [name, type] : properties) {
        openContainer(reply, 'e', "sv");
        check(sd_bus_message_append_basic(reply, 's', name), "sd_bus_message_append_basic");
        openContainer(reply, 'v', type);
        check(getter(nullptr, path.c_str(), interface, name, reply, userdata, nullptr), name);
        closeContainer(reply);
        closeContainer(reply);
    }
    for (int level = 0; level < 4; ++level)
        closeContainer(reply);
}

}  // namespace

struct BluezPeripheralManager::CharacteristicObject {
    BluezPeripheralManager* owner;
    platform::CharacteristicRef characteristic;
    std::string path;
    std::string servicePath;
    std::string uuid;
    platform::Bytes value;
    bool isNotifying = false;
    SlotOwner vtable;
    SlotOwner guard;
};

// Callbacks from C: an exception must not cross them. A failure to answer one message
// is logged and the loop goes on.
template <typename Body>
static int guarded(std::ostream& trace, sd_bus_error* error, Body body) {
    try {
        return body();
    } catch (const std::exception& failure) {
        trace << "bluez: " << failure.what() << '\n';
        if (error)
            return sd_bus_error_set(error, "org.bluez.Error.Failed", failure.what());
        return 0;
    }
}

BluezPeripheralManager::BluezPeripheralManager(EventLoop& loop,
                                               platform::PeripheralManagerDelegate& delegate,
                                               std::optional<std::string> adapterName,
                                               std::ostream& trace)
    : loop_(loop),
      delegate_(delegate),
      adapterName_(std::move(adapterName)),
      trace_(trace),
      application_{this,
                   "application",
                   "org.bluez.GattManager1",
                   "RegisterApplication",
                   "UnregisterApplication",
                   applicationPath},
      advertisement_{this,
                     "advertisement",
                     "org.bluez.LEAdvertisingManager1",
                     "RegisterAdvertisement",
                     "UnregisterAdvertisement",
                     advertisementPath} {
    sd_bus* bus = nullptr;
    check(sd_bus_open_system(&bus), "sd_bus_open_system");
    bus_.reset(bus);
    check(sd_bus_attach_event(bus, loop_.event(), SD_EVENT_PRIORITY_NORMAL), "sd_bus_attach_event");

    sd_bus_slot* slot = nullptr;
    check(sd_bus_add_object(bus, &slot, applicationPath, &onApplicationCall, this),
          "sd_bus_add_object");
    objectManager_.reset(slot);
    check(sd_bus_add_object_vtable(bus, &slot, advertisementPath, advertisementInterface,
                                   advertisementVtable(), this),
          "sd_bus_add_object_vtable");
    advertisementVtable_.reset(slot);

    watchBluez();
    requestManagedObjects();
    exitTaskId_ = loop_.addExitTask(
        [this](std::function<void()> finished) { leaveBluez(std::move(finished)); });
}

BluezPeripheralManager::~BluezPeripheralManager() {
    loop_.removeExitTask(exitTaskId_);
}

// ---- Following BlueZ: its presence, its adapters and their power ----

void BluezPeripheralManager::watchBluez() {
    const std::pair<const char*, sd_bus_message_handler_t> rules[] = {
        {"type='signal',sender='org.freedesktop.DBus',interface='org.freedesktop.DBus',"
         "member='NameOwnerChanged',arg0='org.bluez'",
         &onNameOwnerChanged},
        {"type='signal',sender='org.bluez',interface='org.freedesktop.DBus.ObjectManager',"
         "member='InterfacesAdded'",
         &onInterfacesAdded},
        {"type='signal',sender='org.bluez',interface='org.freedesktop.DBus.ObjectManager',"
         "member='InterfacesRemoved'",
         &onInterfacesRemoved},
        {"type='signal',sender='org.bluez',interface='org.freedesktop.DBus.Properties',"
         "member='PropertiesChanged',arg0='org.bluez.Adapter1'",
         &onPropertiesChanged},
    };
    for (auto [rule, handler] : rules) {
        sd_bus_slot* slot = nullptr;
        check(sd_bus_add_match_async(bus_.get(), &slot, rule, handler, nullptr, this),
              "sd_bus_add_match_async");
        watches_.emplace_back(slot);
    }
}

void BluezPeripheralManager::requestManagedObjects() {
    sd_bus_message* call = nullptr;
    check(sd_bus_message_new_method_call(bus_.get(), &call, bluezName, "/",
                                         "org.freedesktop.DBus.ObjectManager", "GetManagedObjects"),
          "sd_bus_message_new_method_call");
    MessageOwner owner(call);
    // Asking must not start a bluetoothd that the system keeps off.
    check(sd_bus_message_set_auto_start(call, 0), "sd_bus_message_set_auto_start");
    sd_bus_slot* slot = nullptr;
    check(sd_bus_call_async(bus_.get(), &slot, call, &onManagedObjects, this, 0),
          "sd_bus_call_async");
    managedObjectsCall_.reset(slot);
}

int BluezPeripheralManager::onManagedObjects(sd_bus_message* reply, void* userdata, sd_bus_error*) {
    auto& self = *static_cast<BluezPeripheralManager*>(userdata);
    self.managedObjectsCall_.reset();
    return guarded(self.trace_, nullptr, [&] {
        if (sd_bus_message_is_method_error(reply, nullptr)) {
            const sd_bus_error* error = sd_bus_message_get_error(reply);
            if (!sd_bus_error_has_names(error, "org.freedesktop.DBus.Error.ServiceUnknown",
                                        "org.freedesktop.DBus.Error.NameHasNoOwner"))
                self.trace_ << "bluez: GetManagedObjects failed: " << error->name << ": "
                            << (error->message ? error->message : "") << '\n';
            self.bluezGone();
            return 0;
        }
        self.isBluezPresent_ = true;
        self.adapters_.clear();
        check(sd_bus_message_enter_container(reply, 'a', "{oa{sa{sv}}}"),
              "sd_bus_message_enter_container");
        while (check(sd_bus_message_enter_container(reply, 'e', "oa{sa{sv}}"),
                     "sd_bus_message_enter_container") > 0) {
            const char* path = nullptr;
            check(sd_bus_message_read_basic(reply, 'o', &path), "sd_bus_message_read_basic");
            self.readAdapterInterfaces(reply, path);
            check(sd_bus_message_exit_container(reply), "sd_bus_message_exit_container");
        }
        self.updateState();
        return 0;
    });
}

// Reads a{sa{sv}}, keeping the adapter's power when the object is an adapter.
void BluezPeripheralManager::readAdapterInterfaces(sd_bus_message* message,
                                                   const std::string& path) {
    check(sd_bus_message_enter_container(message, 'a', "{sa{sv}}"),
          "sd_bus_message_enter_container");
    while (check(sd_bus_message_enter_container(message, 'e', "sa{sv}"),
                 "sd_bus_message_enter_container") > 0) {
        const char* interface = nullptr;
        check(sd_bus_message_read_basic(message, 's', &interface), "sd_bus_message_read_basic");
        if (std::strcmp(interface, adapterInterface) == 0) {
            int powered = 0;
            readOption(message, "Powered", "b", [&] {
                check(sd_bus_message_read_basic(message, 'b', &powered),
                      "sd_bus_message_read_basic");
            });
            adapters_[path] = powered != 0;
        } else {
            check(sd_bus_message_skip(message, "a{sv}"), "sd_bus_message_skip");
        }
        check(sd_bus_message_exit_container(message), "sd_bus_message_exit_container");
    }
    check(sd_bus_message_exit_container(message), "sd_bus_message_exit_container");
}

int BluezPeripheralManager::onNameOwnerChanged(sd_bus_message* message, void* userdata,
                                               sd_bus_error*) {
    auto& self = *static_cast<BluezPeripheralManager*>(userdata);
    return guarded(self.trace_, nullptr, [&] {
        const char *name = nullptr, *oldOwner = nullptr, *newOwner = nullptr;
        check(sd_bus_message_read(message, "sss", &name, &oldOwner, &newOwner),
              "sd_bus_message_read");
        if (std::strcmp(name, bluezName) != 0)
            return 0;
        if (*newOwner == '\0')
            self.bluezGone();
        else
            self.requestManagedObjects();
        return 0;
    });
}

int BluezPeripheralManager::onInterfacesAdded(sd_bus_message* message, void* userdata,
                                              sd_bus_error*) {
    auto& self = *static_cast<BluezPeripheralManager*>(userdata);
    return guarded(self.trace_, nullptr, [&] {
        const char* path = nullptr;
        check(sd_bus_message_read_basic(message, 'o', &path), "sd_bus_message_read_basic");
        self.readAdapterInterfaces(message, path);
        self.updateState();
        return 0;
    });
}

int BluezPeripheralManager::onInterfacesRemoved(sd_bus_message* message, void* userdata,
                                                sd_bus_error*) {
    auto& self = *static_cast<BluezPeripheralManager*>(userdata);
    return guarded(self.trace_, nullptr, [&] {
        const char* path = nullptr;
        char** interfaces = nullptr;
        check(sd_bus_message_read(message, "o", &path), "sd_bus_message_read");
        check(sd_bus_message_read_strv(message, &interfaces), "sd_bus_message_read_strv");
        bool isAdapter = false;
        for (char** interface = interfaces; interface && *interface; ++interface) {
            isAdapter = isAdapter || std::strcmp(*interface, adapterInterface) == 0;
            free(*interface);
        }
        free(interfaces);
        if (isAdapter && self.adapters_.erase(path) > 0) {
            // bluetoothd drops what was registered on an adapter that goes away.
            self.forgetRegistrationsOn(std::string(path));
            self.updateState();
        }
        return 0;
    });
}

int BluezPeripheralManager::onPropertiesChanged(sd_bus_message* message, void* userdata,
                                                sd_bus_error*) {
    auto& self = *static_cast<BluezPeripheralManager*>(userdata);
    return guarded(self.trace_, nullptr, [&] {
        const std::string path = sd_bus_message_get_path(message);
        auto adapter = self.adapters_.find(path);
        if (adapter == self.adapters_.end())
            return 0;
        const char* interface = nullptr;
        check(sd_bus_message_read_basic(message, 's', &interface), "sd_bus_message_read_basic");
        int powered = adapter->second;
        readOption(message, "Powered", "b", [&] {
            check(sd_bus_message_read_basic(message, 'b', &powered), "sd_bus_message_read_basic");
        });
        adapter->second = powered != 0;
        self.updateState();
        return 0;
    });
}

void BluezPeripheralManager::bluezGone() {
    isBluezPresent_ = false;
    adapters_.clear();
    forgetRegistrationsOn(std::nullopt);
    updateState();
}

// BlueZ no longer holds anything of ours there (nullopt: anywhere); replies still due are
// not waited for.
void BluezPeripheralManager::forgetRegistrationsOn(const std::optional<std::string>& adapterPath) {
    for (auto* registration : {&application_, &advertisement_}) {
        if (registration->phase == Registration::Phase::idle ||
            (adapterPath && registration->adapterPath != *adapterPath))
            continue;
        registration->call.reset();
        registration->phase = Registration::Phase::idle;
    }
    finishIfLeft();
}

std::optional<std::string> BluezPeripheralManager::chosenAdapter() const {
    if (adapterName_) {
        const std::string path = "/org/bluez/" + *adapterName_;
        return adapters_.contains(path) ? std::optional(path) : std::nullopt;
    }
    if (adapters_.empty())
        return std::nullopt;
    return adapters_.begin()->first;
}

// The core hears each change once, and a switch to another adapter counts as a change,
// since nothing of ours is registered on the new one.
void BluezPeripheralManager::updateState() {
    const auto adapter = chosenAdapter();
    auto newState = platform::ManagerState::unknown;
    if (isBluezPresent_ && !adapter)
        newState = platform::ManagerState::unsupported;
    else if (adapter)
        newState = adapters_.at(*adapter) ? platform::ManagerState::poweredOn
                                          : platform::ManagerState::poweredOff;
    if (hasReportedState_ && newState == state_ && adapter == reportedAdapter_)
        return;
    hasReportedState_ = true;
    state_ = newState;
    reportedAdapter_ = adapter;

    const std::string waiting = "; the agent keeps running and publishes once an adapter appears";
    switch (newState) {
        case platform::ManagerState::unknown:
            trace_ << "bluez: bluetoothd is not running" << waiting << '\n';
            break;
        case platform::ManagerState::unsupported:
            trace_ << "bluez: no Bluetooth adapter" << (adapterName_ ? " " + *adapterName_ : "")
                   << waiting << '\n';
            break;
        case platform::ManagerState::poweredOff:
            trace_ << "bluez: adapter " << adapterName(*adapter)
                   << " is powered off; the agent publishes once it is powered on\n";
            break;
        default:
            trace_ << "bluez: adapter " << adapterName(*adapter) << " is powered on\n";
            break;
    }
    delegate_.didUpdateState(*this);
}

// ---- The application and the advertisement ----

int BluezPeripheralManager::getServiceProperty(sd_bus*, const char*, const char*,
                                               const char* property, sd_bus_message* reply,
                                               void* userdata, sd_bus_error* error) {
    auto& service = *static_cast<ServiceObject*>(userdata);
    return guarded(service.owner->trace_, error, [&] {
        if (std::strcmp(property, "UUID") == 0)
            return check(sd_bus_message_append(reply, "s", service.uuid.c_str()),
                         "sd_bus_message_append");
        const int primary = service.isPrimary;
        return check(sd_bus_message_append(reply, "b", primary), "sd_bus_message_append");
    });
}

int BluezPeripheralManager::getCharacteristicProperty(sd_bus*, const char*, const char*,
                                                      const char* property, sd_bus_message* reply,
                                                      void* userdata, sd_bus_error* error) {
    auto& object = *static_cast<CharacteristicObject*>(userdata);
    return guarded(object.owner->trace_, error, [&] {
        if (std::strcmp(property, "UUID") == 0)
            return check(sd_bus_message_append(reply, "s", object.uuid.c_str()),
                         "sd_bus_message_append");
        if (std::strcmp(property, "Service") == 0)
            return check(sd_bus_message_append(reply, "o", object.servicePath.c_str()),
                         "sd_bus_message_append");
        if (std::strcmp(property, "Flags") == 0)
            return appendStrings(reply, flagsOf(object.characteristic->properties));
        return check(
            sd_bus_message_append_array(reply, 'y', object.value.data(), object.value.size()),
            "sd_bus_message_append_array");
    });
}

int BluezPeripheralManager::getAdvertisementProperty(sd_bus*, const char*, const char*,
                                                     const char* property, sd_bus_message* reply,
                                                     void* userdata, sd_bus_error* error) {
    auto& self = *static_cast<BluezPeripheralManager*>(userdata);
    return guarded(self.trace_, error, [&] {
        if (std::strcmp(property, "Type") == 0)
            return check(sd_bus_message_append(reply, "s", "peripheral"), "sd_bus_message_append");
        std::vector<const char*> uuids;
        for (const auto& uuid : self.advertisedUuids_)
            uuids.push_back(uuid.c_str());
        return appendStrings(reply, uuids);
    });
}

// sd-bus's own object manager lists children in an order of its own, while BlueZ gives the
// characteristics their handles in the order it receives them: ours lists them in the
// core's order.
int BluezPeripheralManager::onApplicationCall(sd_bus_message* call, void* userdata,
                                              sd_bus_error* error) {
    if (!sd_bus_message_is_method_call(call, "org.freedesktop.DBus.ObjectManager",
                                       "GetManagedObjects"))
        return 0;
    auto& self = *static_cast<BluezPeripheralManager*>(userdata);
    return guarded(self.trace_, error, [&] {
        sd_bus_message* reply = nullptr;
        check(sd_bus_message_new_method_return(call, &reply), "sd_bus_message_new_method_return");
        MessageOwner owner(reply);
        openContainer(reply, 'a', "{oa{sa{sv}}}");
        if (self.service_) {
            appendObject(reply, self.service_->path, serviceInterface, serviceProperties,
                         &getServiceProperty, &*self.service_);
            for (const auto& object : self.characteristics_)
                appendObject(reply, object->path, characteristicInterface, characteristicProperties,
                             &getCharacteristicProperty, object.get());
        }
        closeContainer(reply);
        check(sd_bus_send(nullptr, reply, nullptr), "sd_bus_send");
        return 1;
    });
}

const sd_bus_vtable* BluezPeripheralManager::serviceVtable() {
    static const sd_bus_vtable vtable[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_PROPERTY("UUID", "s", &getServiceProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
        SD_BUS_PROPERTY("Primary", "b", &getServiceProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
        SD_BUS_VTABLE_END,
    };
    return vtable;
}

const sd_bus_vtable* BluezPeripheralManager::characteristicVtable() {
    static const sd_bus_vtable vtable[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_PROPERTY("UUID", "s", &getCharacteristicProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
        SD_BUS_PROPERTY("Service", "o", &getCharacteristicProperty, 0,
                        SD_BUS_VTABLE_PROPERTY_CONST),
        SD_BUS_PROPERTY("Flags", "as", &getCharacteristicProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
        // Without EMITS_CHANGE sd-bus sends no PropertiesChanged, and BlueZ notifies nothing.
        SD_BUS_PROPERTY("Value", "ay", &getCharacteristicProperty, 0,
                        SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE),
        SD_BUS_METHOD("ReadValue", "a{sv}", "ay", &onReadValue, 0),
        SD_BUS_METHOD("WriteValue", "aya{sv}", "", &onWriteValue, 0),
        SD_BUS_METHOD("StartNotify", "", "", &onStartNotify, 0),
        SD_BUS_METHOD("StopNotify", "", "", &onStopNotify, 0),
        SD_BUS_VTABLE_END,
    };
    return vtable;
}

const sd_bus_vtable* BluezPeripheralManager::advertisementVtable() {
    static const sd_bus_vtable vtable[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_PROPERTY("Type", "s", &getAdvertisementProperty, 0, 0),
        SD_BUS_PROPERTY("ServiceUUIDs", "as", &getAdvertisementProperty, 0, 0),
        SD_BUS_METHOD("Release", "", "", &onRelease, 0),
        SD_BUS_VTABLE_END,
    };
    return vtable;
}

// The objects of the new service replace those of the previous one; BlueZ reads them with
// GetManagedObjects when the application is registered again.
void BluezPeripheralManager::addService(const platform::Service& service) {
    characteristics_.clear();
    service_.reset();

    service_.emplace();
    service_->owner = this;
    service_->path = std::string(applicationPath) + "/service0";
    service_->uuid = lowerCase(service.type.toString());
    service_->isPrimary = service.isPrimary;
    sd_bus_slot* slot = nullptr;
    check(sd_bus_add_object_vtable(bus_.get(), &slot, service_->path.c_str(), serviceInterface,
                                   serviceVtable(), &*service_),
          "sd_bus_add_object_vtable");
    service_->vtable.reset(slot);

    for (const auto& characteristic : service.characteristics) {
        auto object = std::make_unique<CharacteristicObject>();
        object->owner = this;
        object->characteristic = characteristic;
        object->path = service_->path + "/char" + std::to_string(characteristics_.size());
        object->servicePath = service_->path;
        object->uuid = lowerCase(characteristic->type.toString());
        check(sd_bus_add_object(bus_.get(), &slot, object->path.c_str(), &rejectMalformedCall,
                                object.get()),
              "sd_bus_add_object");
        object->guard.reset(slot);
        check(
            sd_bus_add_object_vtable(bus_.get(), &slot, object->path.c_str(),
                                     characteristicInterface, characteristicVtable(), object.get()),
            "sd_bus_add_object_vtable");
        object->vtable.reset(slot);
        characteristics_.push_back(std::move(object));
    }

    const auto adapter = chosenAdapter();
    trace_ << "bluez: publishing service " << service_->uuid << " on "
           << (adapter ? adapterName(*adapter) : "no adapter") << '\n';
    application_.isWanted = true;
    ++application_.generation;
    reconcile(application_);
}

void BluezPeripheralManager::startAdvertising(const platform::AdvertisementData& advertisement) {
    advertisedUuids_.clear();
    for (const auto& uuid : advertisement.serviceUuids)
        advertisedUuids_.push_back(lowerCase(uuid.toString()));
    trace_ << "bluez: advertising service";
    for (const auto& uuid : advertisedUuids_)
        trace_ << ' ' << uuid;
    trace_ << '\n';
    advertisement_.isWanted = true;
    ++advertisement_.generation;
    reconcile(advertisement_);
}

int BluezPeripheralManager::onRelease(sd_bus_message* call, void* userdata, sd_bus_error* error) {
    auto& self = *static_cast<BluezPeripheralManager*>(userdata);
    return guarded(self.trace_, error, [&] {
        if (self.advertisement_.phase == Registration::Phase::held)
            self.advertisement_.phase = Registration::Phase::idle;
        self.trace_ << "bluez: BlueZ released the advertisement\n";
        return check(sd_bus_reply_method_return(call, ""), "sd_bus_reply_method_return");
    });
}

// One step towards what the core wants: a stale or unwanted registration is unregistered
// first, so BlueZ never holds two of ours; then the current one is registered.
void BluezPeripheralManager::reconcile(Registration& registration) {
    using Phase = Registration::Phase;
    if (registration.call)
        return;  // the reply decides the next step
    const auto adapter = chosenAdapter();
    if (registration.phase == Phase::held &&
        (isTerminating_ || registration.heldGeneration != registration.generation ||
         registration.adapterPath != adapter)) {
        registration.phase = Phase::unregistering;
        callRegistration(registration, registration.unregisterMethod);
    } else if (registration.phase == Phase::idle && registration.isWanted && !isTerminating_ &&
               adapter) {
        registration.phase = Phase::registering;
        registration.adapterPath = *adapter;
        registration.heldGeneration = registration.generation;
        callRegistration(registration, registration.registerMethod);
    }
}

void BluezPeripheralManager::callRegistration(Registration& registration, const char* method) {
    sd_bus_message* call = nullptr;
    check(sd_bus_message_new_method_call(bus_.get(), &call, bluezName,
                                         registration.adapterPath.c_str(),
                                         registration.managerInterface, method),
          "sd_bus_message_new_method_call");
    MessageOwner owner(call);
    check(sd_bus_message_append(call, "o", registration.path.c_str()), "sd_bus_message_append");
    if (registration.phase == Registration::Phase::registering)
        check(sd_bus_message_append(call, "a{sv}", 0), "sd_bus_message_append");
    sd_bus_slot* slot = nullptr;
    check(sd_bus_call_async(bus_.get(), &slot, call, &onRegistrationReply, &registration, 0),
          "sd_bus_call_async");
    registration.call.reset(slot);
}

int BluezPeripheralManager::onRegistrationReply(sd_bus_message* reply, void* userdata,
                                                sd_bus_error*) {
    auto& registration = *static_cast<Registration*>(userdata);
    auto& self = *registration.owner;
    return guarded(self.trace_, nullptr, [&] {
        self.registrationReplied(registration, reply);
        return 0;
    });
}

void BluezPeripheralManager::registrationReplied(Registration& registration,
                                                 sd_bus_message* reply) {
    using Phase = Registration::Phase;
    registration.call.reset();
    const sd_bus_error* error =
        sd_bus_message_is_method_error(reply, nullptr) ? sd_bus_message_get_error(reply) : nullptr;
    const auto adapter = adapterName(registration.adapterPath);
    if (registration.phase == Phase::registering) {
        if (error) {
            trace_ << "bluez: " << registration.registerMethod << " failed on " << adapter << ": "
                   << error->name << ": " << (error->message ? error->message : "") << '\n';
            registration.phase = Phase::idle;
            // Asking again with the same content would fail the same way.
            if (registration.heldGeneration == registration.generation)
                registration.isWanted = false;
        } else {
            registration.phase = Phase::held;
            trace_ << "bluez: " << registration.what << " registered on " << adapter << '\n';
        }
    } else if (registration.phase == Phase::unregistering) {
        // After a power cycle bluetoothd may have dropped it already; that is what we wanted.
        if (error && !sd_bus_error_has_name(error, "org.bluez.Error.DoesNotExist"))
            trace_ << "bluez: " << registration.unregisterMethod << " failed on " << adapter << ": "
                   << error->name << ": " << (error->message ? error->message : "") << '\n';
        registration.phase = Phase::idle;
    }
    reconcile(registration);
    finishIfLeft();
}

void BluezPeripheralManager::leaveBluez(std::function<void()> finished) {
    isTerminating_ = true;
    onLeft_ = std::move(finished);
    trace_ << "bluez: leaving BlueZ: unregistering the application and the advertisement\n";
    reconcile(application_);
    reconcile(advertisement_);
    finishIfLeft();
}

void BluezPeripheralManager::finishIfLeft() {
    const auto isSettled = [](const Registration& registration) {
        return registration.phase == Registration::Phase::idle && !registration.call;
    };
    if (!onLeft_ || !isSettled(application_) || !isSettled(advertisement_))
        return;
    trace_ << "bluez: nothing of ours is registered with BlueZ any more\n";
    std::exchange(onLeft_, nullptr)();
}

// ---- ATT traffic ----

// sd-bus would answer a call of the wrong signature with its own error name; BlueZ and
// its tools expect BlueZ's.
int BluezPeripheralManager::rejectMalformedCall(sd_bus_message* call, void*, sd_bus_error* error) {
    if (!sd_bus_message_is_method_call(call, characteristicInterface, nullptr))
        return 0;
    static constexpr std::pair<const char*, const char*> signatures[] = {
        {"ReadValue", "a{sv}"},
        {"WriteValue", "aya{sv}"},
        {"StartNotify", ""},
        {"StopNotify", ""},
    };
    const char* member = sd_bus_message_get_member(call);
    for (auto [name, signature] : signatures)
        if (std::strcmp(member, name) == 0 && !sd_bus_message_has_signature(call, signature))
            return sd_bus_error_setf(error, invalidArguments, "%s takes (%s)", name, signature);
    return 0;
}

int BluezPeripheralManager::onReadValue(sd_bus_message* call, void* userdata, sd_bus_error* error) {
    auto& object = *static_cast<CharacteristicObject*>(userdata);
    return guarded(object.owner->trace_, error, [&] {
        std::uint16_t offset = 0;
        if (!readOffset(call, offset))
            return sd_bus_error_set(error, invalidArguments, "offset must be of type q");
        object.owner->deliverRequest(call, object, std::nullopt, offset);
        return 1;
    });
}

int BluezPeripheralManager::onWriteValue(sd_bus_message* call, void* userdata,
                                         sd_bus_error* error) {
    auto& object = *static_cast<CharacteristicObject*>(userdata);
    return guarded(object.owner->trace_, error, [&] {
        const void* bytes = nullptr;
        std::size_t size = 0;
        check(sd_bus_message_read_array(call, 'y', &bytes, &size), "sd_bus_message_read_array");
        const auto* first = static_cast<const std::uint8_t*>(bytes);
        platform::Bytes value(first, first + size);
        std::uint16_t offset = 0;
        if (!readOffset(call, offset))
            return sd_bus_error_set(error, invalidArguments, "offset must be of type q");
        object.owner->deliverRequest(call, object, std::move(value), offset);
        return 1;
    });
}

// The call is kept until the core answers through respond, which finds it by the id.
void BluezPeripheralManager::deliverRequest(sd_bus_message* call,
                                            const CharacteristicObject& object,
                                            std::optional<platform::Bytes> value,
                                            std::uint16_t offset) {
    const bool isRead = !value;
    platform::AttRequest request{nextRequestId_++, object.characteristic, std::move(value), offset};
    pendingRequests_.emplace(request.id,
                             PendingRequest{MessageOwner(sd_bus_message_ref(call)), isRead});
    if (isRead)
        delegate_.didReceiveReadRequest(*this, request);
    else
        delegate_.didReceiveWriteRequests(*this, {request});
}

void BluezPeripheralManager::respond(const platform::AttRequest& request,
                                     platform::AttResult result) {
    auto pending = pendingRequests_.extract(request.id);
    if (pending.empty()) {
        trace_ << "bluez: request " << request.id << " was answered already\n";
        return;
    }
    sd_bus_message* call = pending.mapped().call.get();
    const auto code = static_cast<std::uint8_t>(result);
    int r = 0;
    if (code != 0) {
        r = sd_bus_reply_method_errorf(call, bluezErrorFor(code), "ATT error 0x%02X", code);
    } else if (pending.mapped().isRead) {
        const auto& value = request.value ? *request.value : platform::Bytes{};
        sd_bus_message* reply = nullptr;
        r = sd_bus_message_new_method_return(call, &reply);
        if (r >= 0) {
            MessageOwner owner(reply);
            r = sd_bus_message_append_array(reply, 'y', value.data(), value.size());
            if (r >= 0)
                r = sd_bus_send(bus_.get(), reply, nullptr);
        }
    } else {
        r = sd_bus_reply_method_return(call, "");
    }
    if (r < 0)
        trace_ << "bluez: answering request " << request.id << " failed: " << std::strerror(-r)
               << '\n';
}

int BluezPeripheralManager::onStartNotify(sd_bus_message* call, void* userdata,
                                          sd_bus_error* error) {
    auto& object = *static_cast<CharacteristicObject*>(userdata);
    auto& self = *object.owner;
    return guarded(self.trace_, error, [&] {
        object.isNotifying = true;
        // Answered first, so that BlueZ counts the subscription before the value the core
        // sends to a new subscriber arrives.
        check(sd_bus_reply_method_return(call, ""), "sd_bus_reply_method_return");
        self.delegate_.didSubscribe(self, object.characteristic);
        return 1;
    });
}

int BluezPeripheralManager::onStopNotify(sd_bus_message* call, void* userdata,
                                         sd_bus_error* error) {
    auto& object = *static_cast<CharacteristicObject*>(userdata);
    auto& self = *object.owner;
    return guarded(self.trace_, error, [&] {
        object.isNotifying = false;
        check(sd_bus_reply_method_return(call, ""), "sd_bus_reply_method_return");
        self.delegate_.didUnsubscribe(self, object.characteristic);
        return 1;
    });
}

bool BluezPeripheralManager::updateValue(const platform::Bytes& value,
                                         const platform::CharacteristicRef& characteristic) {
    auto found =
        std::find_if(characteristics_.begin(), characteristics_.end(),
                     [&](const auto& object) { return object->characteristic == characteristic; });
    if (found == characteristics_.end()) {
        trace_ << "bluez: value " << hex(value) << " not sent: the service is not published\n";
        return true;  // no central can be subscribed to it
    }
    auto& object = **found;
    object.value = value;
    if (!object.isNotifying) {
        trace_ << "bluez: value " << hex(value) << " kept; no central is subscribed\n";
        return true;
    }
    const int r = sd_bus_emit_properties_changed(bus_.get(), object.path.c_str(),
                                                 characteristicInterface, "Value", nullptr);
    if (r < 0) {
        trace_ << "bluez: sending " << hex(value) << " failed: " << std::strerror(-r) << '\n';
        if (!retrySource_) {
            sd_event_source* source = nullptr;
            if (sd_event_add_time_relative(loop_.event(), &source, CLOCK_MONOTONIC,
                                           notificationRetryUsec, 1000, &onRetryNotification,
                                           this) >= 0)
                retrySource_.reset(source);
        }
        return false;
    }
    trace_ << "bluez: sent " << hex(value) << " to the subscribed centrals\n";
    return true;
}

int BluezPeripheralManager::onRetryNotification(sd_event_source*, std::uint64_t, void* userdata) {
    auto& self = *static_cast<BluezPeripheralManager*>(userdata);
    self.retrySource_.reset();
    self.delegate_.isReadyToUpdateSubscribers(self);
    return 0;
}

}  // namespace quorla::platform::linux_

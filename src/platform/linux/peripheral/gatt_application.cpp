#include "platform/linux/peripheral/gatt_application.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <utility>

#include "platform/linux/bluez/gatt_flags.hpp"
#include "platform/linux/bus/bus_calls.hpp"
#include "platform/linux/bus/bus_messages.hpp"
#include "platform/linux/bus/entry_guard.hpp"

namespace quorla::platform::linux_ {

namespace {

using bluez::gattCharacteristicInterface;
using bluez::gattServiceInterface;
using bluez::error::invalidArguments;
constexpr platform::Seconds notificationRetryDelay{0.1};

constexpr PropertyList serviceProperties = {{"UUID", "s"}, {"Primary", "b"}};
constexpr PropertyList characteristicProperties = {
    {"UUID", "s"}, {"Service", "o"}, {"Flags", "as"}, {"Value", "ay"}};

std::string hex(const platform::Bytes& bytes) {
    std::string text;
    char digits[3];
    for (auto byte : bytes) {
        std::snprintf(digits, sizeof digits, "%02X", byte);
        text += digits;
    }
    return text;
}

// Reads the options' "offset", the only one the agent uses; the others BlueZ sends with each
// request ("device", "link", "mtu", "type") are skipped unread. False when the offset is not
// of type q.
bool readOffset(sd_bus_message* message, std::uint16_t& offset) {
    constexpr const char* read = "reading the options";
    checkRead(sd_bus_message_enter_container(message, 'a', "{sv}"), read);
    while (checkRead(sd_bus_message_enter_container(message, 'e', "sv"), read) > 0) {
        const char* key = nullptr;
        checkRead(sd_bus_message_read_basic(message, 's', &key), read);
        if (std::strcmp(key, "offset") == 0) {
            const char* contents = nullptr;
            checkRead(sd_bus_message_peek_type(message, nullptr, &contents), read);
            if (std::strcmp(contents, "q") != 0)
                return false;
            checkRead(sd_bus_message_read(message, "v", "q", &offset), read);
        } else {
            checkRead(sd_bus_message_skip(message, "v"), read);
        }
        checkRead(sd_bus_message_exit_container(message), read);
    }
    checkRead(sd_bus_message_exit_container(message), read);
    return true;
}

SlotOwner addVtable(sd_bus* bus, const std::string& path, const char* interface,
                    const sd_bus_vtable* vtable, void* userdata) {
    sd_bus_slot* slot = nullptr;
    check(sd_bus_add_object_vtable(bus, &slot, path.c_str(), interface, vtable, userdata),
          "sd_bus_add_object_vtable");
    return SlotOwner(slot);
}

}  // namespace

struct GattApplication::ServiceObject {
    GattApplication* owner;
    std::string path;
    std::string uuid;
    bool isPrimary = true;
    SlotOwner vtable{};
    SlotOwner guard{};
};

struct GattApplication::CharacteristicObject {
    GattApplication* owner;
    platform::CharacteristicRef characteristic;
    std::string path;
    std::string servicePath;
    std::string uuid;
    platform::Bytes value{};
    bool isNotifying = false;
    SlotOwner vtable{};
    SlotOwner guard{};
};

GattApplication::GattApplication(sd_bus* bus, BluezOwner& bluez, EventLoop& loop,
                                 platform::PeripheralManager& manager,
                                 platform::PeripheralManagerDelegate& delegate, std::ostream& trace)
    : bus_(bus), bluez_(bluez), loop_(loop), manager_(manager), delegate_(delegate), trace_(trace) {
    sd_bus_slot* slot = nullptr;
    check(sd_bus_add_object(bus, &slot, path, &onGetManagedObjects, this), "sd_bus_add_object");
    objectManager_.reset(slot);
}

GattApplication::~GattApplication() = default;

// ---- The objects ----

std::string GattApplication::publish(const platform::Service& service) {
    characteristics_.clear();
    service_ = std::make_unique<ServiceObject>(ServiceObject{
        this, std::string(path) + "/service0", bluezUuid(service.type), service.isPrimary});
    service_->vtable =
        addVtable(bus_, service_->path, gattServiceInterface, serviceVtable(), service_.get());
    for (const auto& characteristic : service.characteristics)
        exportCharacteristic(characteristic);
    return service_->uuid;
}

void GattApplication::exportCharacteristic(const platform::CharacteristicRef& characteristic) {
    auto object = std::make_unique<CharacteristicObject>(CharacteristicObject{
        this, characteristic, service_->path + "/char" + std::to_string(characteristics_.size()),
        service_->path, bluezUuid(characteristic->type)});
    sd_bus_slot* slot = nullptr;
    check(sd_bus_add_object(bus_, &slot, object->path.c_str(), &screenCharacteristicCall,
                            object.get()),
          "sd_bus_add_object");
    object->guard.reset(slot);
    object->vtable = addVtable(bus_, object->path, gattCharacteristicInterface,
                               characteristicVtable(), object.get());
    characteristics_.push_back(std::move(object));
}

// Every call on the application's path comes here first: only bluetoothd's go on. sd-bus's
// own object manager lists children in an order of its own, while BlueZ gives the
// characteristics their handles in the order it receives them: ours lists them in the
// core's order.
int GattApplication::onGetManagedObjects(sd_bus_message* call, void* userdata,
                                         sd_bus_error* error) {
    auto& self = *static_cast<GattApplication*>(userdata);
    return guardInput(self.trace_, "bluez", error, [&] {
        if (!self.bluez_.admits(call, error))
            return -EACCES;
        if (!sd_bus_message_is_method_call(call, dbus::objectManagerInterface, "GetManagedObjects"))
            return 0;
        self.answerManagedObjects(call);
        return 1;
    });
}

void GattApplication::answerManagedObjects(sd_bus_message* call) {
    sd_bus_message* reply = nullptr;
    check(sd_bus_message_new_method_return(call, &reply), "sd_bus_message_new_method_return");
    MessageOwner owner(reply);
    openContainer(reply, 'a', "{oa{sa{sv}}}");
    if (service_) {
        appendObject(reply, service_->path, gattServiceInterface, serviceProperties,
                     &getServiceProperty, service_.get());
        for (const auto& object : characteristics_)
            appendObject(reply, object->path, gattCharacteristicInterface, characteristicProperties,
                         &getCharacteristicProperty, object.get());
    }
    closeContainer(reply);
    check(sd_bus_send(nullptr, reply, nullptr), "sd_bus_send");
}

int GattApplication::getServiceProperty(sd_bus*, const char*, const char*, const char* property,
                                        sd_bus_message* reply, void* userdata,
                                        sd_bus_error* error) {
    auto& service = *static_cast<ServiceObject*>(userdata);
    return guardInput(service.owner->trace_, "bluez", error, [&] {
        if (std::strcmp(property, "UUID") == 0)
            return check(sd_bus_message_append(reply, "s", service.uuid.c_str()),
                         "sd_bus_message_append");
        const int primary = service.isPrimary;
        return check(sd_bus_message_append(reply, "b", primary), "sd_bus_message_append");
    });
}

int GattApplication::getCharacteristicProperty(sd_bus*, const char*, const char*,
                                               const char* property, sd_bus_message* reply,
                                               void* userdata, sd_bus_error* error) {
    auto& object = *static_cast<CharacteristicObject*>(userdata);
    return guardInput(object.owner->trace_, "bluez", error, [&] {
        if (std::strcmp(property, "UUID") == 0)
            return check(sd_bus_message_append(reply, "s", object.uuid.c_str()),
                         "sd_bus_message_append");
        if (std::strcmp(property, "Service") == 0)
            return check(sd_bus_message_append(reply, "o", object.servicePath.c_str()),
                         "sd_bus_message_append");
        if (std::strcmp(property, "Flags") == 0) {
            const auto flags =
                bluezFlags(object.characteristic->properties, object.characteristic->permissions);
            std::vector<const char*> names;
            for (const auto& flag : flags)
                names.push_back(flag.c_str());
            return appendStrings(reply, names);
        }
        return check(
            sd_bus_message_append_array(reply, 'y', object.value.data(), object.value.size()),
            "sd_bus_message_append_array");
    });
}

const sd_bus_vtable* GattApplication::serviceVtable() {
    static const sd_bus_vtable vtable[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_PROPERTY("UUID", "s", &getServiceProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
        SD_BUS_PROPERTY("Primary", "b", &getServiceProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
        SD_BUS_VTABLE_END,
    };
    return vtable;
}

const sd_bus_vtable* GattApplication::characteristicVtable() {
    static const sd_bus_vtable vtable[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_PROPERTY("UUID", "s", &getCharacteristicProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
        SD_BUS_PROPERTY("Service", "o", &getCharacteristicProperty, 0,
                        SD_BUS_VTABLE_PROPERTY_CONST),
        SD_BUS_PROPERTY("Flags", "as", &getCharacteristicProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
        // Without EMITS_CHANGE sd-bus sends no PropertiesChanged, and BlueZ notifies nothing.
        SD_BUS_PROPERTY("Value", "ay", &getCharacteristicProperty, 0,
                        SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE),
        // Unprivileged: sd-bus asks the bus daemon nothing, since screenCharacteristicCall
        // has let only bluetoothd through (BluezOwner).
        SD_BUS_METHOD("ReadValue", "a{sv}", "ay", &onReadValue, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_METHOD("WriteValue", "aya{sv}", "", &onWriteValue, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_METHOD("StartNotify", "", "", &onStartNotify, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_METHOD("StopNotify", "", "", &onStopNotify, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_VTABLE_END,
    };
    return vtable;
}

// ---- ATT traffic ----

// Every call on a characteristic's path comes here first: only bluetoothd's go on. sd-bus
// would answer a call of the wrong signature with its own error name; BlueZ and its tools
// expect BlueZ's.
int GattApplication::screenCharacteristicCall(sd_bus_message* call, void* userdata,
                                              sd_bus_error* error) {
    auto& object = *static_cast<CharacteristicObject*>(userdata);
    return guardInput(object.owner->trace_, "bluez", error, [&] {
        if (!object.owner->bluez_.admits(call, error))
            return -EACCES;
        if (!sd_bus_message_is_method_call(call, gattCharacteristicInterface, nullptr))
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
    });
}

int GattApplication::onReadValue(sd_bus_message* call, void* userdata, sd_bus_error* error) {
    auto& object = *static_cast<CharacteristicObject*>(userdata);
    return guardInput(object.owner->trace_, "bluez", error, [&] {
        std::uint16_t offset = 0;
        if (!readOffset(call, offset))
            return sd_bus_error_set(error, invalidArguments, "offset must be of type q");
        object.owner->deliverRequest(call, object, std::nullopt, offset);
        return 1;
    });
}

int GattApplication::onWriteValue(sd_bus_message* call, void* userdata, sd_bus_error* error) {
    auto& object = *static_cast<CharacteristicObject*>(userdata);
    return guardInput(object.owner->trace_, "bluez", error, [&] {
        const void* bytes = nullptr;
        std::size_t size = 0;
        checkRead(sd_bus_message_read_array(call, 'y', &bytes, &size), "sd_bus_message_read_array");
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
void GattApplication::deliverRequest(sd_bus_message* call, const CharacteristicObject& object,
                                     std::optional<platform::Bytes> value, std::uint16_t offset) {
    const bool isRead = !value;
    platform::AttRequest request{nextRequestId_++, object.characteristic, std::move(value), offset};
    pendingRequests_.emplace(request.id,
                             PendingRequest{MessageOwner(sd_bus_message_ref(call)), isRead});
    if (isRead)
        delegate_.didReceiveReadRequest(manager_, request);
    else
        delegate_.didReceiveWriteRequests(manager_, {request});
}

void GattApplication::respond(const platform::AttRequest& request, platform::AttResult result) {
    auto pending = pendingRequests_.extract(request.id);
    if (pending.empty()) {
        trace_ << "bluez: request " << request.id << " was answered already\n";
        return;
    }
    answer(pending.mapped().call.get(), pending.mapped(), request, result);
}

// An answer that cannot be sent means the bus is broken (entry_guard.hpp).
void GattApplication::answer(sd_bus_message* call, const PendingRequest& pending,
                             const platform::AttRequest& request, platform::AttResult result) {
    switch (result) {
        case platform::AttResult::success:  // the only answer the core gives
            break;
    }
    if (!pending.isRead) {
        check(sd_bus_reply_method_return(call, ""), "sd_bus_reply_method_return");
        return;
    }
    const auto& value = request.value ? *request.value : platform::Bytes{};
    sd_bus_message* reply = nullptr;
    check(sd_bus_message_new_method_return(call, &reply), "sd_bus_message_new_method_return");
    MessageOwner owner(reply);
    check(sd_bus_message_append_array(reply, 'y', value.data(), value.size()),
          "sd_bus_message_append_array");
    check(sd_bus_send(bus_, reply, nullptr), "sd_bus_send");
}

int GattApplication::onStartNotify(sd_bus_message* call, void* userdata, sd_bus_error* error) {
    auto& object = *static_cast<CharacteristicObject*>(userdata);
    auto& self = *object.owner;
    return guardInput(self.trace_, "bluez", error, [&] {
        object.isNotifying = true;
        // Answered first, so that BlueZ counts the subscription before the value the core
        // sends to a new subscriber arrives.
        check(sd_bus_reply_method_return(call, ""), "sd_bus_reply_method_return");
        self.delegate_.didSubscribe(self.manager_, object.characteristic);
        return 1;
    });
}

int GattApplication::onStopNotify(sd_bus_message* call, void* userdata, sd_bus_error* error) {
    auto& object = *static_cast<CharacteristicObject*>(userdata);
    auto& self = *object.owner;
    return guardInput(self.trace_, "bluez", error, [&] {
        object.isNotifying = false;
        check(sd_bus_reply_method_return(call, ""), "sd_bus_reply_method_return");
        self.delegate_.didUnsubscribe(self.manager_, object.characteristic);
        return 1;
    });
}

bool GattApplication::updateValue(const platform::Bytes& value,
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
    if (sd_bus_is_open(bus_) <= 0) {
        // The loop has ended and closed the bus: no central can hear it any more.
        trace_ << "bluez: value " << hex(value) << " not sent: the bus is closed\n";
        return true;
    }
    const int r = sd_bus_emit_properties_changed(bus_, object.path.c_str(),
                                                 gattCharacteristicInterface, "Value", nullptr);
    if (r < 0) {
        trace_ << "bluez: sending " << hex(value) << " failed: " << std::strerror(-r) << '\n';
        notifyLater();
        return false;
    }
    trace_ << "bluez: sent " << hex(value) << " to the subscribed centrals\n";
    return true;
}

// On the loop's timer, the program's own work, so a delegate that throws ends the agent
// (entry_guard.hpp). The core's last status may come after the loop has ended
// (the application shell goes idle as it is destroyed); there is no retry then, and no
// exception either, since the caller may be a destructor.
void GattApplication::notifyLater() {
    if (notificationRetry_)
        return;
    try {
        notificationRetry_ = loop_.scheduleTimer(notificationRetryDelay, [this] {
            auto* self = this;  // resetting the timer frees this block and its captures
            self->notificationRetry_.reset();
            self->delegate_.isReadyToUpdateSubscribers(self->manager_);
        });
    } catch (const std::exception& failure) {
        trace_ << "bluez: no second try: " << failure.what() << '\n';
    }
}

}  // namespace quorla::platform::linux_

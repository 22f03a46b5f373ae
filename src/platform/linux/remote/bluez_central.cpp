#include "platform/linux/remote/bluez_central.hpp"

#include <algorithm>
#include <exception>
#include <memory>
#include <string_view>
#include <utility>

#include "platform/linux/bus/bus_calls.hpp"
#include "platform/linux/bus/bus_messages.hpp"
#include "platform/linux/bus/entry_guard.hpp"

namespace quorla::remote {

using namespace platform::linux_;
using Call = Connection::Call;

namespace {

using bluez::adapterInterface;
using bluez::deviceInterface;
constexpr const char* serviceInterface = bluez::gattServiceInterface;
constexpr const char* characteristicInterface = bluez::gattCharacteristicInterface;

std::string readText(sd_bus_message* message, char type) {
    const char* text = nullptr;
    check(sd_bus_message_read_basic(message, type, &text), "sd_bus_message_read_basic");
    return text;
}

Bytes readBytes(sd_bus_message* message) {
    const void* data = nullptr;
    std::size_t size = 0;
    check(sd_bus_message_read_array(message, 'y', &data, &size), "sd_bus_message_read_array");
    const auto* first = static_cast<const std::uint8_t*>(data);
    return Bytes(first, first + size);
}

void appendEmptyOptions(sd_bus_message* call) {
    check(sd_bus_message_append(call, "a{sv}", 0), "sd_bus_message_append");
}

std::optional<std::string> errorOf(const sd_bus_error* error) {
    return error ? std::optional(errorText(error)) : std::nullopt;
}

Connection::DeviceReport readDevice(sd_bus_message* properties) {
    Connection::DeviceReport device;
    readProperties(
        properties,
        {{"Adapter", "o", [&] { device.adapter = readText(properties, 'o'); }},
         {"Address", "s", [&] { device.address = readText(properties, 's'); }},
         {"UUIDs", "as", [&] { device.uuids = readStrings(properties); }},
         {"Connected", "b", [&] { device.isConnected = readBool(properties); }},
         {"ServicesResolved", "b", [&] { device.areServicesResolved = readBool(properties); }},
         {"Paired", "b", [&] { device.isPaired = readBool(properties); }},
         {"RSSI", "n", [&] {
              std::int16_t rssi = 0;
              check(sd_bus_message_read_basic(properties, 'n', &rssi), "sd_bus_message_read_basic");
              device.isAdvertising = true;
          }}});
    return device;
}

}  // namespace

// Each signal is one input from outside (entry_guard.hpp); one the central cannot read
// ends it, since it could no longer tell where the agent is.
template <typename Body>
int BluezCentral::guarded(Body body) {
    return guardInput(
        [this](const std::exception& failure) { apply(connection_.fail(failure.what())); }, nullptr,
        [&] {
            body();
            return 0;
        });
}

BluezCentral::BluezCentral(EventLoop& loop, Target target, Events events, std::ostream& trace)
    : loop_(loop),
      events_(std::move(events)),
      trace_(trace),
      connection_(target.service, target.adapterName, target.timeout),
      bus_(openSystemBus()),
      calls_(bus_.get(),
             [this](const std::exception& failure) { apply(connection_.fail(failure.what())); }) {
    check(sd_bus_attach_event(bus_.get(), loop_.event(), SD_EVENT_PRIORITY_NORMAL),
          "sd_bus_attach_event");
    watches_ = watchBluezSignals(
        bus_.get(),
        {&onNameOwnerChanged, &onInterfacesAdded, &onInterfacesRemoved, &onPropertiesChanged},
        this);
    apply(connection_.start());
    timeout_ = loop_.scheduleTimer(target.timeout, [this] { apply(connection_.timedOut()); });
    exitTaskId_ = loop_.addExitTask([this](std::function<void()> finished) {
        timeout_.reset();
        rescan_.reset();
        calls_.clear();
        auto pending = std::make_shared<int>(1);
        auto done = [pending, finished](sd_bus_message*, const sd_bus_error*) {
            if (--*pending == 0)
                finished();
        };
        for (const auto& step : connection_.leave()) {
            if (step.call == Call::note)
                trace_ << "quorla-remote: " << step.line << '\n';
            else {
                ++*pending;
                calls_.call(
                    step.path, step.call == Call::disconnect ? deviceInterface : adapterInterface,
                    step.call == Call::disconnect ? "Disconnect" : "StopDiscovery", nullptr, done);
            }
        }
        done(nullptr, nullptr);
    });
}

BluezCentral::~BluezCentral() {
    loop_.removeExitTask(exitTaskId_);
}

// ---- The calls the connection asks for ----

void BluezCentral::apply(const Connection::Steps& steps) {
    for (const auto& step : steps) {
        switch (step.call) {
            case Call::note:
                trace_ << "quorla-remote: " << step.line << '\n';
                break;
            case Call::rescanAfter:
                rescan_ = loop_.scheduleTimer(Connection::rescanInterval,
                                              [this] { apply(connection_.rescanDue()); });
                break;
            case Call::ready:
                timeout_.reset();
                events_.ready(step.line);
                break;
            case Call::fail:
                timeout_.reset();
                rescan_.reset();
                events_.failed(step.line);
                break;
            default:
                call(step);
        }
    }
}

BluezCentral::Reply BluezCentral::replyTo(Call call) {
    return [this, call](sd_bus_message*, const sd_bus_error* error) {
        apply(connection_.replied(call, errorOf(error)));
    };
}

void BluezCentral::call(const Connection::Step& step) {
    switch (step.call) {
        case Call::getObjects:
            return calls_.call(
                "/", dbus::objectManagerInterface, "GetManagedObjects", nullptr,
                [this](sd_bus_message* reply, const sd_bus_error* error) {
                    if (error && isBluezAbsent(error))
                        return apply(connection_.bluezGone());
                    if (error)
                        return apply(connection_.replied(Call::getObjects, errorOf(error)));
                    apply(connection_.objectsRead(readObjects(reply)));
                });
        case Call::setFilter:
            return calls_.call(
                step.path, adapterInterface, "SetDiscoveryFilter",
                [&](sd_bus_message* message) {
                    openContainer(message, 'a', "{sv}");
                    openContainer(message, 'e', "sv");
                    check(sd_bus_message_append(message, "s", "UUIDs"), "sd_bus_message_append");
                    openContainer(message, 'v', "as");
                    appendStrings(message, {step.line.c_str()});
                    closeContainer(message);
                    closeContainer(message);
                    check(sd_bus_message_append(message, "{sv}", "Transport", "s", "le"),
                          "sd_bus_message_append");
                    closeContainer(message);
                },
                replyTo(Call::setFilter));
        case Call::startDiscovery:
            return calls_.call(step.path, adapterInterface, "StartDiscovery", nullptr,
                               replyTo(step.call));
        case Call::stopDiscovery:
            return calls_.call(step.path, adapterInterface, "StopDiscovery", nullptr,
                               replyTo(step.call));
        case Call::connect:
            return calls_.call(step.path, deviceInterface, "Connect", nullptr, replyTo(step.call));
        case Call::disconnect:
            return calls_.call(step.path, deviceInterface, "Disconnect", nullptr,
                               [](sd_bus_message*, const sd_bus_error*) {});
        default:
            return;
    }
}

Connection::Objects BluezCentral::readObjects(sd_bus_message* reply) {
    Connection::Objects objects;
    platform::linux_::readObjects(reply, [&](const std::string& path) {
        readInterfaces(reply, [&](const std::string& interface) {
            if (interface == adapterInterface) {
                bool powered = false;
                readProperties(reply, {{"Powered", "b", [&] { powered = readBool(reply); }}});
                objects.adapters.emplace_back(path, powered);
            } else if (interface == deviceInterface) {
                objects.devices[path] = readDevice(reply);
            } else if (interface == serviceInterface) {
                auto& service = objects.gatt.services.emplace_back(ReportedService{path, {}});
                readProperties(reply,
                               {{"UUID", "s", [&] { service.uuid = readText(reply, 's'); }}});
            } else if (interface == characteristicInterface) {
                auto& entry = objects.gatt.characteristics.emplace_back(
                    ReportedCharacteristic{path, {}, {}, {}});
                readProperties(reply,
                               {{"UUID", "s", [&] { entry.uuid = readText(reply, 's'); }},
                                {"Service", "o", [&] { entry.servicePath = readText(reply, 'o'); }},
                                {"Flags", "as", [&] { entry.flags = readStrings(reply); }}});
            } else {
                return false;
            }
            return true;
        });
    });
    return objects;
}

// ---- Signals ----

int BluezCentral::onNameOwnerChanged(sd_bus_message* message, void* userdata, sd_bus_error*) {
    auto& self = *static_cast<BluezCentral*>(userdata);
    return self.guarded([&] {
        if (readNewOwner(message).empty())
            self.apply(self.connection_.bluezGone());
    });
}

int BluezCentral::onInterfacesAdded(sd_bus_message* message, void* userdata, sd_bus_error*) {
    auto& self = *static_cast<BluezCentral*>(userdata);
    return self.guarded([&] {
        const auto path = readText(message, 'o');
        std::optional<Connection::DeviceReport> device;
        readInterfaces(message, [&](const std::string& interface) {
            if (interface != deviceInterface)
                return false;
            device = readDevice(message);
            device->isAdvertising = device->isNew = true;  // discovery created it
            return true;
        });
        if (device)
            self.apply(self.connection_.deviceReported(path, *device));
    });
}

int BluezCentral::onInterfacesRemoved(sd_bus_message* message, void* userdata, sd_bus_error*) {
    auto& self = *static_cast<BluezCentral*>(userdata);
    return self.guarded([&] {
        const auto path = readText(message, 'o');
        const auto interfaces = readStrings(message);
        const auto has = [&](const char* interface) {
            return std::find(interfaces.begin(), interfaces.end(), interface) != interfaces.end();
        };
        if (has(characteristicInterface))
            self.apply(self.connection_.characteristicRemoved(path));
        if (has(deviceInterface))
            self.apply(self.connection_.deviceRemoved(path));
    });
}

int BluezCentral::onPropertiesChanged(sd_bus_message* message, void* userdata, sd_bus_error*) {
    auto& self = *static_cast<BluezCentral*>(userdata);
    return self.guarded([&] {
        const std::string path = sd_bus_message_get_path(message);
        const auto interface = readText(message, 's');
        if (interface == deviceInterface) {
            self.apply(self.connection_.deviceReported(path, readDevice(message)));
        } else if (interface == characteristicInterface && self.connection_.isNotification(path)) {
            std::optional<Bytes> value;
            readProperties(message, {{"Value", "ay", [&] { value = readBytes(message); }}});
            if (value)
                self.events_.notified(*value);
        }
    });
}

// ---- GATT ----

void BluezCentral::att(Role role, const char* method, const Appender& append,
                       std::function<void(sd_bus_message*)> success) {
    const bool isRead = std::string_view(method) == "ReadValue";
    connection_.attSent(isRead);
    calls_.call(
        connection_.paths()[static_cast<std::size_t>(role)], characteristicInterface, method,
        append,
        [this, isRead,
         what = std::string(method) + " of the " + std::string(roleName(role)) + " characteristic",
         success = std::move(success)](sd_bus_message* reply, const sd_bus_error* error) {
            const auto steps = connection_.attReplied(isRead, what, errorOf(error));
            if (error)
                return apply(steps);
            success(reply);
        });
}

void BluezCentral::read(Role role, std::function<void(const Bytes&)> done) {
    att(role, "ReadValue", &appendEmptyOptions,
        [done = std::move(done)](sd_bus_message* reply) { done(readBytes(reply)); });
}

void BluezCentral::writeCommand(Role role, const platform::Bytes& value,
                                std::function<void()> done) {
    att(
        role, "WriteValue",
        [&value](sd_bus_message* message) {
            check(sd_bus_message_append_array(message, 'y', value.data(), value.size()),
                  "sd_bus_message_append_array");
            check(sd_bus_message_append(message, "a{sv}", 1, "type", "s", "command"),
                  "sd_bus_message_append");
        },
        [done = std::move(done)](sd_bus_message*) { done(); });
}

void BluezCentral::subscribe(Role role, std::function<void()> done) {
    att(role, "StartNotify", nullptr, [done = std::move(done)](sd_bus_message*) { done(); });
}

void BluezCentral::pair(std::function<void(bool wasPaired)> done) {
    pairingAgent_.emplace(
        bus_.get(), "/org/quorla/remote/pairing_agent", "DisplayYesNo", false,
        PairingAgent::Handlers{[this](const PairingAgent::Question& question) {
                                   if (question.passkey)
                                       trace_ << "quorla-remote: the passkey is "
                                              << *question.passkey
                                              << "; accept the pairing at the computer if it "
                                                 "shows the same\n";
                                   pairingAgent_->answer(question.id, true);
                               },
                               [](std::uint64_t) {}},
        trace_);
    pairingAgent_->registerWithBluez([this, done](std::optional<std::string> error) {
        if (error)
            return apply(connection_.fail("BlueZ refused a pairing agent: " + *error));
        const auto address = connection_.address();
        trace_ << "quorla-remote: pairing with " << address
               << "; the person at the computer has to accept\n";
        // Longer than the agent's time for an answer, so that its refusal is what we hear.
        connection_.setPairing(true);
        calls_.call(
            connection_.devicePath(), deviceInterface, "Pair", nullptr,
            [this, done, address](sd_bus_message*, const sd_bus_error* error) {
                connection_.setPairing(false);
                if (error && sd_bus_error_has_name(error, bluez::error::alreadyExists))
                    return done(true);
                if (error)
                    return apply(connection_.fail("pairing with " + address +
                                                  " failed: " + errorText(error)));
                done(false);
            },
            std::chrono::duration_cast<std::chrono::seconds>(2 * pairingAnswerTime));
    });
}

}  // namespace quorla::remote

#include "platform/linux/remote/bluez_central.hpp"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <utility>

#include "platform/linux/bus/bus_calls.hpp"
#include "platform/linux/bus/bus_messages.hpp"

namespace quorla::remote {

using namespace platform::linux_;

namespace {

constexpr const char* adapterInterface = "org.bluez.Adapter1";
constexpr const char* deviceInterface = "org.bluez.Device1";
constexpr const char* pairingRequiredLine =
    "the agent requires pairing; run 'quorla-remote pair' first";
constexpr const char* serviceInterface = "org.bluez.GattService1";
constexpr const char* characteristicInterface = "org.bluez.GattCharacteristic1";
// The emulated controllers report an advertiser only as a scan starts, and the kernel can
// drop that report; a scan started afresh gets a new one.
constexpr std::chrono::seconds rescanInterval{5};

std::string seconds(std::chrono::duration<double> duration) {
    char text[32];
    std::snprintf(text, sizeof text, "%g s", duration.count());
    return text;
}

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

}  // namespace

// Callbacks from C: an exception must not cross them, and ends the central instead.
template <typename Body>
int BluezCentral::guarded(Body body) {
    try {
        body();
    } catch (const std::exception& failure) {
        fail(failure.what());
    }
    return 0;
}

BluezCentral::BluezCentral(EventLoop& loop, Target target, Events events, std::ostream& trace)
    : loop_(loop),
      target_(std::move(target)),
      serviceText_(bluezUuid(target_.service)),
      events_(std::move(events)),
      trace_(trace),
      bus_(openSystemBus()),
      calls_(bus_.get(), [this](const std::exception& failure) { fail(failure.what()); }) {
    check(sd_bus_attach_event(bus_.get(), loop_.event(), SD_EVENT_PRIORITY_NORMAL),
          "sd_bus_attach_event");
    watches_ = watchBluezSignals(
        bus_.get(),
        {&onNameOwnerChanged, &onInterfacesAdded, &onInterfacesRemoved, &onPropertiesChanged},
        this);
    calls_.call("/", "org.freedesktop.DBus.ObjectManager", "GetManagedObjects", nullptr,
                [this](sd_bus_message* reply, const sd_bus_error* error) {
                    if (error && isBluezAbsent(error))
                        return fail("bluetoothd is not running (no org.bluez on the system bus)");
                    if (error)
                        return fail("GetManagedObjects of BlueZ failed: " + errorText(error));
                    readObjects(reply);
                    objectsRead();
                });
    timeout_ = after(target_.timeout, &onTimeout);
    exitTaskId_ =
        loop_.addExitTask([this](std::function<void()> finished) { leave(std::move(finished)); });
}

BluezCentral::~BluezCentral() {
    loop_.removeExitTask(exitTaskId_);
}

// ---- Calls and timers ----

BluezCentral::Reply BluezCentral::orFail(std::string what,
                                         std::function<void(sd_bus_message*)> success) {
    return [this, what = std::move(what), success = std::move(success)](sd_bus_message* reply,
                                                                        const sd_bus_error* error) {
        if (error)
            return fail(what + " failed: " + errorText(error));
        success(reply);
    };
}

EventSourceOwner BluezCentral::after(std::chrono::duration<double> delay,
                                     sd_event_time_handler_t handler) {
    const auto usec = std::chrono::duration_cast<std::chrono::microseconds>(delay).count();
    sd_event_source* source = nullptr;
    check(sd_event_add_time_relative(loop_.event(), &source, CLOCK_MONOTONIC,
                                     static_cast<std::uint64_t>(usec), 1000, handler, this),
          "sd_event_add_time_relative");
    return EventSourceOwner(source);
}

int BluezCentral::onTimeout(sd_event_source*, std::uint64_t, void* userdata) {
    auto& self = *static_cast<BluezCentral*>(userdata);
    return self.guarded([&] { self.fail(self.timeoutLine()); });
}

std::string BluezCentral::timeoutLine() const {
    const auto within = " within " + seconds(target_.timeout);
    switch (phase_) {
        case Phase::connecting:
            return "no connection to " + address() + within;
        case Phase::resolving:
            return "the services of " + address() + " were not resolved" + within;
        default:
            return "no device advertised the service " + target_.service.toString() + within;
    }
}

// ---- What BlueZ holds: adapters, devices, GATT objects ----

void BluezCentral::readObjects(sd_bus_message* reply) {
    adapters_.clear();
    gatt_ = {};
    platform::linux_::readObjects(reply, [&](const std::string& path) {
        readInterfaces(reply, [&](const std::string& interface) {
            if (interface == adapterInterface) {
                bool powered = false;
                readProperties(reply, {{"Powered", "b", [&] { powered = readBool(reply); }}});
                adapters_[path] = powered;
            } else if (interface == deviceInterface) {
                readDevice(devices_[path], reply);
            } else if (interface == serviceInterface) {
                auto& service = gatt_.services.emplace_back(ReportedService{path, {}});
                readProperties(reply,
                               {{"UUID", "s", [&] { service.uuid = readText(reply, 's'); }}});
            } else if (interface == characteristicInterface) {
                auto& entry =
                    gatt_.characteristics.emplace_back(ReportedCharacteristic{path, {}, {}, {}});
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
}

void BluezCentral::readDevice(Device& device, sd_bus_message* properties) {
    readProperties(
        properties,
        {{"Adapter", "o", [&] { device.adapterPath = readText(properties, 'o'); }},
         {"Address", "s", [&] { device.address = readText(properties, 's'); }},
         {"UUIDs", "as", [&] { device.uuids = readStrings(properties); }},
         {"Connected", "b", [&] { device.isConnected = readBool(properties); }},
         {"ServicesResolved", "b", [&] { device.areServicesResolved = readBool(properties); }},
         {"Paired", "b", [&] { device.isPaired = readBool(properties); }},
         {"RSSI", "n", [&] {
              std::int16_t rssi = 0;
              check(sd_bus_message_read_basic(properties, 'n', &rssi), "sd_bus_message_read_basic");
              device.wasSeenInRange = true;
          }}});
}

void BluezCentral::objectsRead() {
    if (target_.adapterName) {
        adapterPath_ = "/org/bluez/" + *target_.adapterName;
        if (!adapters_.contains(adapterPath_))
            return fail("no Bluetooth adapter " + *target_.adapterName);
    } else if (adapters_.empty()) {
        return fail("no Bluetooth adapter");
    } else {
        adapterPath_ = adapters_.begin()->first;
    }
    if (!adapters_.at(adapterPath_))
        return fail("the adapter " + adapterName(adapterPath_) + " is powered off");
    // A device BlueZ already knows with our service can be used at once.
    for (const auto& [path, device] : devices_)
        if (device.adapterPath == adapterPath_ &&
            std::find(device.uuids.begin(), device.uuids.end(), serviceText_) != device.uuids.end())
            return connect(path, true);
    startScan();
}

// ---- Finding the agent ----

void BluezCentral::startScan() {
    phase_ = Phase::scanning;
    for (auto& [path, device] : devices_)
        device.wasSeenInRange = false;
    trace_ << "quorla-remote: scanning for the service " << target_.service.toString() << " on "
           << adapterName(adapterPath_) << '\n';
    // The filter is ours alone: BlueZ keeps one per D-Bus client and drops it when we leave.
    calls_.call(
        adapterPath_, adapterInterface, "SetDiscoveryFilter",
        [&](sd_bus_message* message) {
            openContainer(message, 'a', "{sv}");
            openContainer(message, 'e', "sv");
            check(sd_bus_message_append(message, "s", "UUIDs"), "sd_bus_message_append");
            openContainer(message, 'v', "as");
            appendStrings(message, {serviceText_.c_str()});
            closeContainer(message);
            closeContainer(message);
            check(sd_bus_message_append(message, "{sv}", "Transport", "s", "le"),
                  "sd_bus_message_append");
            closeContainer(message);
        },
        orFail("SetDiscoveryFilter on " + adapterName(adapterPath_),
               [this](sd_bus_message*) { restartScan(); }));
}

void BluezCentral::restartScan() {
    if (phase_ != Phase::scanning)
        return;
    calls_.call(adapterPath_, adapterInterface, "StartDiscovery", nullptr,
                orFail("StartDiscovery on " + adapterName(adapterPath_), [this](sd_bus_message*) {
                    isDiscovering_ = true;
                    if (phase_ != Phase::scanning)
                        return stopScan();
                    rescan_ = after(rescanInterval, &onRescan);
                }));
}

int BluezCentral::onRescan(sd_event_source*, std::uint64_t, void* userdata) {
    auto& self = *static_cast<BluezCentral*>(userdata);
    return self.guarded([&] {
        if (self.phase_ != Phase::scanning)
            return;
        // BlueZ refuses a StartDiscovery (InProgress) until the stop has completed.
        self.stopScan([&self] { self.restartScan(); });
    });
}

void BluezCentral::stopScan(std::function<void()> then) {
    rescan_.reset();
    if (!std::exchange(isDiscovering_, false)) {
        if (then)
            then();
        return;
    }
    calls_.call(adapterPath_, adapterInterface, "StopDiscovery", nullptr,
                [then = std::move(then)](sd_bus_message*, const sd_bus_error*) {
                    if (then)
                        then();
                });
}

// A device whose services BlueZ resolved before keeps listing those, not what it
// advertises now, so one that our filtered scan reports is tried even without our service
// listed: the layout check decides, and the scan goes on if it is not the agent.
void BluezCentral::consider(const std::string& path) {
    const auto& device = devices_.at(path);
    if (phase_ != Phase::scanning || device.adapterPath != adapterPath_ || !device.wasSeenInRange ||
        triedDevices_.contains(path))
        return;
    isCandidate_ =
        std::find(device.uuids.begin(), device.uuids.end(), serviceText_) == device.uuids.end();
    stopScan();
    connect(path, false);
}

// ---- Connecting ----

void BluezCentral::connect(const std::string& path, bool isFromCache) {
    phase_ = Phase::connecting;
    devicePath_ = path;
    if (isFromCache)
        isCandidate_ = false;
    const auto& device = devices_.at(path);
    trace_ << "quorla-remote: connecting to " << device.address
           << (isFromCache ? " (known to BlueZ already)" : "") << '\n';
    isConnectRequested_ = !device.isConnected;
    calls_.call(path, deviceInterface, "Connect", nullptr,
                [this, isFromCache](sd_bus_message*, const sd_bus_error* error) {
                    if (!error)
                        return connected();
                    if (isCandidate_)
                        return passOver(errorText(error));
                    if (!isFromCache)
                        return fail("Connect to " + address() + " failed: " + errorText(error));
                    // What BlueZ remembered may be out of range or gone: look for it afresh.
                    trace_ << "quorla-remote: Connect to " << address() << " failed ("
                           << errorText(error) << "); scanning\n";
                    isConnectRequested_ = false;
                    startScan();
                });
}

void BluezCentral::connected() {
    phase_ = Phase::resolving;
    auto& device = devices_.at(devicePath_);
    device.isConnected = true;
    if (device.areServicesResolved)
        resolve();
}

void BluezCentral::resolve() {
    phase_ = Phase::ready;  // until the objects are read; a lost link still ends it
    calls_.call("/", "org.freedesktop.DBus.ObjectManager", "GetManagedObjects", nullptr,
                orFail("GetManagedObjects of BlueZ", [this](sd_bus_message* reply) {
                    readObjects(reply);
                    ReportedGatt ours;
                    const auto prefix = devicePath_ + "/";
                    for (const auto& service : gatt_.services)
                        if (service.path.starts_with(prefix))
                            ours.services.push_back(service);
                    for (const auto& characteristic : gatt_.characteristics)
                        if (characteristic.path.starts_with(prefix))
                            ours.characteristics.push_back(characteristic);
                    try {
                        paths_ = checkLayout(ours, target_.service);
                    } catch (const LayoutMismatch& mismatch) {
                        if (!isCandidate_)
                            return fail(address() + " is not a Quorla agent: " + mismatch.what());
                        return passOver(mismatch.what());
                    }
                    timeout_.reset();
                    events_.ready(address());
                }));
}

void BluezCentral::passOver(const std::string& why) {
    trace_ << "quorla-remote: passing over " << address() << " (" << why << ")\n";
    triedDevices_.insert(devicePath_);
    if (std::exchange(isConnectRequested_, false))
        calls_.call(devicePath_, deviceInterface, "Disconnect", nullptr,
                    [](sd_bus_message*, const sd_bus_error*) {});
    startScan();
}

const std::string& BluezCentral::address() const {
    return devices_.at(devicePath_).address;
}

// ---- Signals ----

int BluezCentral::onNameOwnerChanged(sd_bus_message* message, void* userdata, sd_bus_error*) {
    auto& self = *static_cast<BluezCentral*>(userdata);
    return self.guarded([&] {
        if (readNewOwner(message).empty() && self.phase_ != Phase::starting) {
            self.isDiscovering_ = false;
            self.isConnectRequested_ = false;
            self.fail("bluetoothd stopped");
        }
    });
}

int BluezCentral::onInterfacesAdded(sd_bus_message* message, void* userdata, sd_bus_error*) {
    auto& self = *static_cast<BluezCentral*>(userdata);
    return self.guarded([&] {
        const auto path = readText(message, 'o');
        bool isDevice = false;
        readInterfaces(message, [&](const std::string& interface) {
            if (interface != deviceInterface)
                return false;
            isDevice = true;
            auto& device = self.devices_[path];
            device.wasSeenInRange = true;  // discovery created it
            self.readDevice(device, message);
            return true;
        });
        if (isDevice)
            self.consider(path);
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
        // An agent that quits leaves the link up but takes its service away.
        if (has(characteristicInterface) && self.phase_ == Phase::ready &&
            std::find(self.paths_.begin(), self.paths_.end(), path) != self.paths_.end())
            return self.linkLost("the agent's service went away");
        if (!has(deviceInterface))
            return;
        if (path == self.devicePath_ && self.phase_ >= Phase::resolving) {
            self.isConnectRequested_ = false;
            return self.linkLost("BlueZ removed the device");
        }
        if (path != self.devicePath_)
            self.devices_.erase(path);
    });
}

int BluezCentral::onPropertiesChanged(sd_bus_message* message, void* userdata, sd_bus_error*) {
    auto& self = *static_cast<BluezCentral*>(userdata);
    return self.guarded([&] {
        const std::string path = sd_bus_message_get_path(message);
        const auto interface = readText(message, 's');
        if (interface == deviceInterface && self.devices_.contains(path)) {
            auto& device = self.devices_.at(path);
            const bool wasConnected = device.isConnected;
            self.readDevice(device, message);
            if (path != self.devicePath_)
                return self.consider(path);
            if (self.phase_ >= Phase::resolving && wasConnected && !device.isConnected) {
                self.isConnectRequested_ = false;
                return self.linkLost("disconnected");
            }
            if (self.phase_ == Phase::resolving && device.areServicesResolved)
                self.resolve();
            if (self.phase_ == Phase::scanning)
                self.consider(path);
        } else if (interface == characteristicInterface && self.phase_ == Phase::ready &&
                   path == self.paths_[static_cast<std::size_t>(Role::status)]) {
            std::optional<Bytes> value;
            readProperties(message, {{"Value", "ay", [&] { value = readBytes(message); }}});
            // BlueZ also reports the value a read brought as a change of Value; only a
            // change outside our reads is a notification.
            if (value && self.readsInFlight_ == 0)
                self.events_.notified(*value);
        }
    });
}

void BluezCentral::linkLost(const std::string& why) {
    if (attInFlight_ > 0 && isPairingRequired())
        return fail(pairingRequiredLine);
    fail("the link to " + address() + " was lost (" + why + ")");
}

// An agent that lets only paired companions in answers an unpaired central with Insufficient
// Encryption; BlueZ then tries to pair on its own, and when that fails the link drops.
bool BluezCentral::isPairingRequired() const {
    const auto device = devices_.find(devicePath_);
    return device != devices_.end() && !device->second.isPaired;
}

BluezCentral::Reply BluezCentral::orFailAtt(std::string what,
                                            std::function<void(sd_bus_message*)> success) {
    ++attInFlight_;
    auto failOr = orFail(std::move(what), std::move(success));
    return [this, failOr](sd_bus_message* reply, const sd_bus_error* error) {
        --attInFlight_;
        if (error && isPairingRequired())
            return fail(pairingRequiredLine);
        failOr(reply, error);
    };
}

void BluezCentral::fail(const std::string& line) {
    if (phase_ == Phase::failed)
        return;
    phase_ = Phase::failed;
    timeout_.reset();
    rescan_.reset();
    events_.failed(line);
}

// ---- GATT ----

void BluezCentral::read(Role role, std::function<void(const Bytes&)> done) {
    ++readsInFlight_;
    auto reply =
        orFailAtt("ReadValue of the " + std::string(roleName(role)) + " characteristic",
                  [done = std::move(done)](sd_bus_message* reply) { done(readBytes(reply)); });
    calls_.call(paths_[static_cast<std::size_t>(role)], characteristicInterface, "ReadValue",
                &appendEmptyOptions,
                [this, reply](sd_bus_message* message, const sd_bus_error* error) {
                    --readsInFlight_;
                    reply(message, error);
                });
}

void BluezCentral::writeCommand(Role role, std::uint8_t value, std::function<void()> done) {
    calls_.call(
        paths_[static_cast<std::size_t>(role)], characteristicInterface, "WriteValue",
        [value](sd_bus_message* message) {
            check(sd_bus_message_append_array(message, 'y', &value, 1),
                  "sd_bus_message_append_array");
            check(sd_bus_message_append(message, "a{sv}", 1, "type", "s", "command"),
                  "sd_bus_message_append");
        },
        orFailAtt("WriteValue of the " + std::string(roleName(role)) + " characteristic",
                  [done = std::move(done)](sd_bus_message*) { done(); }));
}

void BluezCentral::subscribe(Role role, std::function<void()> done) {
    calls_.call(paths_[static_cast<std::size_t>(role)], characteristicInterface, "StartNotify",
                nullptr,
                orFailAtt("StartNotify of the " + std::string(roleName(role)) + " characteristic",
                          [done = std::move(done)](sd_bus_message*) { done(); }));
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
            return fail("BlueZ refused a pairing agent: " + *error);
        trace_ << "quorla-remote: pairing with " << address()
               << "; the person at the computer has to accept\n";
        // Longer than the agent's 30 s for an answer, so that its refusal is what we hear.
        calls_.call(
            devicePath_, deviceInterface, "Pair", nullptr,
            [this, done](sd_bus_message*, const sd_bus_error* error) {
                if (error && sd_bus_error_has_name(error, "org.bluez.Error.AlreadyExists"))
                    return done(true);
                if (error)
                    return fail("pairing with " + address() + " failed: " + errorText(error));
                done(false);
            },
            std::chrono::seconds(60));
    });
}

// ---- Leaving BlueZ as we found it ----

void BluezCentral::leave(std::function<void()> finished) {
    if (phase_ != Phase::failed)
        phase_ = Phase::failed;  // nothing more is reported
    timeout_.reset();
    rescan_.reset();
    calls_.clear();
    auto pending = std::make_shared<int>(0);
    auto done = [pending, finished](sd_bus_message*, const sd_bus_error*) {
        if (--*pending == 0)
            finished();
    };
    if (std::exchange(isDiscovering_, false)) {
        ++*pending;
        calls_.call(adapterPath_, adapterInterface, "StopDiscovery", nullptr, done);
    }
    if (std::exchange(isConnectRequested_, false)) {
        trace_ << "quorla-remote: disconnecting from " << address() << '\n';
        ++*pending;
        calls_.call(devicePath_, deviceInterface, "Disconnect", nullptr, done);
    }
    if (*pending == 0)
        finished();
}

}  // namespace quorla::remote

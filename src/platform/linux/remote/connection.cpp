#include "platform/linux/remote/connection.hpp"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace quorla::remote {

using platform::linux_::adapterName;

namespace {

std::string lowerCase(std::string text) {
    for (auto& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string seconds(std::chrono::duration<double> duration) {
    char text[32];
    std::snprintf(text, sizeof text, "%g s", duration.count());
    return text;
}

void append(Connection::Steps& steps, Connection::Steps more) {
    steps.insert(steps.end(), more.begin(), more.end());
}

}  // namespace

Connection::Connection(platform::Uuid service, std::optional<std::string> adapterName,
                       std::chrono::duration<double> timeout)
    : service_(service),
      serviceText_(lowerCase(service.toString())),
      adapters_(std::move(adapterName)),
      timeout_(timeout) {}

Connection::Steps Connection::start() {
    return {{Call::getObjects}};
}

const std::string& Connection::address() const {
    return devices_.at(devicePath_).address;
}

void Connection::merge(Device& device, const DeviceReport& report) {
    device.adapter = report.adapter.value_or(device.adapter);
    device.address = report.address.value_or(device.address);
    device.uuids = report.uuids.value_or(device.uuids);
    device.isConnected = report.isConnected.value_or(device.isConnected);
    device.areServicesResolved = report.areServicesResolved.value_or(device.areServicesResolved);
    device.isPaired = report.isPaired.value_or(device.isPaired);
    device.isAdvertising = device.isAdvertising || report.isAdvertising;
}

bool Connection::hasService(const Device& device) const {
    return std::find(device.uuids.begin(), device.uuids.end(), serviceText_) != device.uuids.end();
}

Connection::Steps Connection::fail(const std::string& line) {
    if (phase_ == Phase::failed)
        return {};
    phase_ = Phase::failed;
    return {{Call::fail, {}, line}};
}

// ---- What BlueZ holds ----

Connection::Steps Connection::objectsRead(const Objects& objects) {
    if (phase_ == Phase::starting)
        return chooseAdapter(objects);
    if (phase_ == Phase::checking)
        return checkLayout(objects);
    return {};
}

Connection::Steps Connection::chooseAdapter(const Objects& objects) {
    adapters_.bluezFound();
    for (const auto& [path, isPowered] : objects.adapters)
        adapters_.setPowered(path, isPowered);
    for (const auto& [path, report] : objects.devices)
        merge(devices_[path], report);
    const auto chosen = adapters_.choice();
    if (!chosen.adapter)
        return fail(adapters_.wantedName() ? "no Bluetooth adapter " + *adapters_.wantedName()
                                           : "no Bluetooth adapter");
    adapter_ = *chosen.adapter;
    if (chosen.state != platform::ManagerState::poweredOn)
        return fail("the adapter " + adapterName(adapter_) + " is powered off");
    for (const auto& [path, device] : devices_)
        if (device.adapter == adapter_ && hasService(device))
            return connect(path, true);
    return startScan();
}

Connection::Steps Connection::checkLayout(const Objects& objects) {
    for (const auto& [path, report] : objects.devices)
        merge(devices_[path], report);
    ReportedGatt ours;
    const auto prefix = devicePath_ + "/";
    for (const auto& service : objects.gatt.services)
        if (service.path.starts_with(prefix))
            ours.services.push_back(service);
    for (const auto& characteristic : objects.gatt.characteristics)
        if (characteristic.path.starts_with(prefix))
            ours.characteristics.push_back(characteristic);
    try {
        paths_ = remote::checkLayout(ours, service_);
    } catch (const LayoutMismatch& mismatch) {
        layoutMismatch_ = mismatch.what();
        if (!isCandidate_)
            return fail(address() + " is not a Quorla agent: " + mismatch.what());
        return passOver(mismatch.what());
    }
    phase_ = Phase::ready;
    return {{Call::ready, {}, address()}};
}

// ---- Finding the agent ----

Connection::Steps Connection::startScan() {
    phase_ = Phase::scanning;
    for (auto& [path, device] : devices_)
        device.isAdvertising = false;
    // The filter is ours alone: BlueZ keeps one per D-Bus client and drops it when we leave.
    return {{Call::note,
             {},
             "scanning for the service " + service_.toString() + " on " + adapterName(adapter_)},
            {Call::setFilter, adapter_, serviceText_}};
}

Connection::Steps Connection::stopScan() {
    isRestartDue_ = false;
    if (!std::exchange(isDiscovering_, false))
        return {};
    return {{Call::stopDiscovery, adapter_}};
}

Connection::Steps Connection::rescanDue() {
    if (phase_ != Phase::scanning || !isDiscovering_)
        return {};
    // BlueZ refuses a StartDiscovery (InProgress) until the stop has completed.
    auto steps = stopScan();
    isRestartDue_ = true;
    return steps;
}

Connection::Steps Connection::consider(const std::string& path) {
    const auto& device = devices_.at(path);
    if (phase_ != Phase::scanning || device.adapter != adapter_ || !device.isAdvertising ||
        triedDevices_.contains(path))
        return {};
    isCandidate_ = !hasService(device);
    auto steps = stopScan();
    append(steps, connect(path, false));
    return steps;
}

// ---- Connecting ----

Connection::Steps Connection::connect(const std::string& path, bool isFromCache) {
    phase_ = Phase::connecting;
    devicePath_ = path;
    isFromCache_ = isFromCache;
    if (isFromCache)
        isCandidate_ = false;
    const auto& device = devices_.at(path);
    isConnectRequested_ = !device.isConnected;
    advertised_ = device.isNew ? std::optional(device.uuids) : std::nullopt;
    return {{Call::note,
             {},
             "connecting to " + address() + (isFromCache ? " (known to BlueZ already)" : "")},
            {Call::connect, path}};
}

Connection::Steps Connection::connectReplied(const std::optional<std::string>& error) {
    if (phase_ != Phase::connecting)
        return {};
    if (!error) {
        phase_ = Phase::resolving;
        auto& device = devices_.at(devicePath_);
        device.isConnected = true;
        if (!device.areServicesResolved)
            return {};
        phase_ = Phase::checking;
        return {{Call::getObjects}};
    }
    if (isCandidate_)
        return passOver(*error);
    if (!isFromCache_)
        return fail("Connect to " + address() + " failed: " + *error);
    // What BlueZ remembered may be out of range or gone: look for it afresh.
    isConnectRequested_ = false;
    auto steps = Steps{{Call::note, {}, "Connect to " + address() + " failed (" + *error + ")"}};
    append(steps, startScan());
    return steps;
}

Connection::Steps Connection::passOver(const std::string& why) {
    Steps steps{{Call::note, {}, "passing over " + address() + " (" + why + ")"}};
    triedDevices_.insert(devicePath_);
    if (std::exchange(isConnectRequested_, false))
        steps.push_back({Call::disconnect, devicePath_});
    append(steps, startScan());
    return steps;
}

Connection::Steps Connection::replied(Call call, const std::optional<std::string>& error) {
    if (phase_ == Phase::failed)
        return {};
    switch (call) {
        case Call::getObjects:
            return fail("GetManagedObjects of BlueZ failed: " + error.value_or("no objects"));
        case Call::setFilter:
            if (error)
                return fail("SetDiscoveryFilter on " + adapterName(adapter_) +
                            " failed: " + *error);
            return phase_ == Phase::scanning ? Steps{{Call::startDiscovery, adapter_}} : Steps{};
        case Call::startDiscovery:
            if (error)
                return fail("StartDiscovery on " + adapterName(adapter_) + " failed: " + *error);
            isDiscovering_ = true;
            if (phase_ != Phase::scanning)
                return stopScan();
            return {{Call::rescanAfter}};
        case Call::stopDiscovery:
            if (std::exchange(isRestartDue_, false) && phase_ == Phase::scanning)
                return {{Call::startDiscovery, adapter_}};
            return {};
        case Call::connect:
            return connectReplied(error);
        default:
            return {};
    }
}

// ---- Events ----

Connection::Steps Connection::deviceReported(const std::string& path, const DeviceReport& report) {
    if (phase_ == Phase::failed)
        return {};
    auto& device = devices_[path];
    const bool wasConnected = device.isConnected;
    merge(device, report);
    device.isNew = device.isNew || (report.isNew && phase_ == Phase::scanning);
    if (path != devicePath_)
        return consider(path);
    if (phase_ >= Phase::resolving && wasConnected && !device.isConnected) {
        isConnectRequested_ = false;
        return linkLost("disconnected");
    }
    if (phase_ == Phase::resolving && device.areServicesResolved) {
        phase_ = Phase::checking;
        return {{Call::getObjects}};
    }
    return consider(path);
}

Connection::Steps Connection::deviceRemoved(const std::string& path) {
    if (path != devicePath_) {
        devices_.erase(path);
        return {};
    }
    if (phase_ < Phase::resolving || phase_ == Phase::failed)
        return {};
    isConnectRequested_ = false;
    return linkLost("BlueZ removed the device");
}

// An agent that quits leaves the link up but takes its service away.
Connection::Steps Connection::characteristicRemoved(const std::string& path) {
    if (phase_ != Phase::ready || std::find(paths_.begin(), paths_.end(), path) == paths_.end())
        return {};
    return linkLost("the agent's service went away");
}

Connection::Steps Connection::bluezGone() {
    if (phase_ == Phase::starting)
        return fail("bluetoothd is not running (no org.bluez on the system bus)");
    isDiscovering_ = false;
    isConnectRequested_ = false;
    return fail("bluetoothd stopped");
}

Connection::Steps Connection::timedOut() {
    const auto within = " within " + seconds(timeout_);
    switch (phase_) {
        case Phase::connecting:
            return fail("no connection to " + address() + within);
        case Phase::resolving:
        case Phase::checking:
            return fail("the services of " + address() + " were not resolved" + within);
        case Phase::ready:
            return {};
        default:
            return fail("no device advertised the service " + service_.toString() + within);
    }
}

Connection::Steps Connection::linkLost(const std::string& why) {
    if (isPairing_)
        return fail("pairing with " + address() + " failed (the link was lost: " + why + ")");
    if (attInFlight_ > 0 && isPairingRequired())
        return fail(pairingRequiredLine);
    return fail("the link to " + address() + " was lost (" + why + ")");
}

bool Connection::isPairingRequired() const {
    const auto device = devices_.find(devicePath_);
    return device != devices_.end() && !device->second.isPaired;
}

Connection::Steps Connection::leave() {
    phase_ = Phase::failed;  // nothing more is reported
    Steps steps = stopScan();
    if (std::exchange(isConnectRequested_, false))
        steps.insert(steps.end(), {{Call::note, {}, "disconnecting from " + address()},
                                   {Call::disconnect, devicePath_}});
    return steps;
}

// ---- GATT ----

void Connection::attSent(bool isRead) {
    ++attInFlight_;
    readsInFlight_ += isRead ? 1 : 0;
}

Connection::Steps Connection::attReplied(bool isRead, const std::string& what,
                                         const std::optional<std::string>& error) {
    --attInFlight_;
    readsInFlight_ -= isRead ? 1 : 0;
    if (!error)
        return {};
    if (isPairingRequired())
        return fail(pairingRequiredLine);
    return fail(what + " failed: " + *error);
}

bool Connection::isNotification(const std::string& characteristicPath) const {
    return phase_ == Phase::ready && readsInFlight_ == 0 &&
           characteristicPath == paths_[static_cast<std::size_t>(Role::status)];
}

}  // namespace quorla::remote

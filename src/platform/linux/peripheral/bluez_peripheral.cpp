#include "platform/linux/peripheral/bluez_peripheral.hpp"

#include <utility>

#include "platform/linux/bus/bus_calls.hpp"
#include "platform/linux/bus/entry_guard.hpp"

namespace quorla::platform::linux_ {

namespace {

BusOwner attachedSystemBus(EventLoop& loop) {
    auto bus = openSystemBus();
    check(sd_bus_attach_event(bus.get(), loop.event(), SD_EVENT_PRIORITY_NORMAL),
          "sd_bus_attach_event");
    return bus;
}

std::string nameOrNone(const std::optional<std::string>& adapter) {
    return adapter ? adapterName(*adapter) : "no adapter";
}

}  // namespace

BluezPeripheralManager::BluezPeripheralManager(EventLoop& loop,
                                               platform::PeripheralManagerDelegate& delegate,
                                               std::optional<std::string> adapterName,
                                               std::ostream& trace)
    : loop_(loop),
      delegate_(delegate),
      trace_(trace),
      bus_(attachedSystemBus(loop)),
      bluezOwner_(trace, "bluez"),
      adapters_(std::move(adapterName)),
      application_(bus_.get(), bluezOwner_, loop, *this, delegate, trace),
      advertisement_(
          bus_.get(), bluezOwner_, [this] { advertisementRegistration_.machine.released(); },
          trace),
      applicationRegistration_{this,
                               "application",
                               GattApplication::path,
                               bluez::gattManagerInterface,
                               "RegisterApplication",
                               "UnregisterApplication"},
      advertisementRegistration_{this,
                                 "advertisement",
                                 LeAdvertisement::path,
                                 bluez::advertisingManagerInterface,
                                 "RegisterAdvertisement",
                                 "UnregisterAdvertisement"},
      exitTaskId_(loop.addExitTask(
          [this](std::function<void()> finished) { leaveBluez(std::move(finished)); })),
      watch_(bus_.get(), adapters_, bluezOwner_,
             {[this](const auto& adapter) { dropped(adapter); }, [this] { adaptersChanged(); }},
             trace) {}

BluezPeripheralManager::~BluezPeripheralManager() {
    loop_.removeExitTask(exitTaskId_);
}

// ---- What the core asks for ----

void BluezPeripheralManager::addService(const platform::Service& service) {
    const auto uuid = application_.publish(service);
    trace_ << "bluez: publishing service " << uuid << " on "
           << nameOrNone(adapters_.choice().adapter) << '\n';
    perform(applicationRegistration_, applicationRegistration_.machine.want());
}

void BluezPeripheralManager::startAdvertising(const platform::AdvertisementData& advertisement) {
    trace_ << "bluez: advertising service";
    for (const auto& uuid : advertisement_.setServiceUuids(advertisement))
        trace_ << ' ' << uuid;
    trace_ << '\n';
    perform(advertisementRegistration_, advertisementRegistration_.machine.want());
}

// ---- bluetoothd and its adapters ----

// Registrations follow the chosen adapter only while it is powered; the core asks anew
// once it hears the state.
void BluezPeripheralManager::adaptersChanged() {
    const auto choice = adapters_.choice();
    const auto usable =
        choice.state == platform::ManagerState::poweredOn ? choice.adapter : std::nullopt;
    applicationRegistration_.machine.setAdapter(usable);
    advertisementRegistration_.machine.setAdapter(usable);
    if (const auto change = adapters_.takeChange())
        reportState(*change);
}

// Replies still due there are not waited for.
void BluezPeripheralManager::dropped(const std::optional<std::string>& adapter) {
    for (auto* registrar : {&applicationRegistration_, &advertisementRegistration_}) {
        registrar->machine.forget(adapter);
        if (registrar->machine.isIdle())
            registrar->call.reset();
    }
    finishIfLeft();
}

void BluezPeripheralManager::reportState(const AdapterChoice::Choice& choice) {
    const std::string waiting = "; the agent keeps running and publishes once an adapter appears";
    switch (choice.state) {
        case platform::ManagerState::unknown:
            trace_ << "bluez: bluetoothd is not running" << waiting << '\n';
            break;
        case platform::ManagerState::unsupported:
            trace_ << "bluez: no Bluetooth adapter"
                   << (adapters_.wantedName() ? " " + *adapters_.wantedName() : "") << waiting
                   << '\n';
            break;
        case platform::ManagerState::poweredOff:
            trace_ << "bluez: adapter " << adapterName(*choice.adapter)
                   << " is powered off; the agent publishes once it is powered on\n";
            break;
        default:
            trace_ << "bluez: adapter " << adapterName(*choice.adapter) << " is powered on\n";
            break;
    }
    state_ = choice.state;
    delegate_.didUpdateState(*this);
}

// ---- Registering with BlueZ ----

void BluezPeripheralManager::perform(Registrar& registrar, const Registration::Step& step) {
    switch (step.call) {
        case Registration::Call::registerOn:
            call(registrar, true, step.adapter);
            break;
        case Registration::Call::unregisterFrom:
            call(registrar, false, step.adapter);
            break;
        case Registration::Call::retryAfter:
            retryLater(registrar, step.delay);
            break;
        case Registration::Call::none:
            break;
    }
}

void BluezPeripheralManager::call(Registrar& registrar, bool isRegistering,
                                  const std::string& adapter) {
    const char* method = isRegistering ? registrar.registerMethod : registrar.unregisterMethod;
    auto message = newBluezCall(bus_.get(), adapter.c_str(), registrar.managerInterface, method);
    check(sd_bus_message_append(message.get(), "o", registrar.path), "sd_bus_message_append");
    if (isRegistering)
        check(sd_bus_message_append(message.get(), "a{sv}", 0), "sd_bus_message_append");
    registrar.call = callAsync(bus_.get(), message.get(), &onRegistrationReply, &registrar);
    registrar.isRegistering = isRegistering;
    registrar.adapter = adapter;
}

// The program's own work (entry_guard.hpp): a call that cannot even be made ends the agent.
void BluezPeripheralManager::retryLater(Registrar& registrar, platform::Seconds delay) {
    registrar.retry = loop_.scheduleTimer(delay, [this, &registrar] {
        auto* self = this;  // resetting the timer frees this block and its captures
        auto& due = registrar;
        due.retry.reset();
        self->perform(due, due.machine.retryDue());
    });
}

int BluezPeripheralManager::onRegistrationReply(sd_bus_message* reply, void* userdata,
                                                sd_bus_error*) {
    auto& registrar = *static_cast<Registrar*>(userdata);
    return guardInput(registrar.owner->trace_, "bluez", nullptr, [&] {
        registrar.owner->replied(registrar, reply);
        return 0;
    });
}

void BluezPeripheralManager::replied(Registrar& registrar, sd_bus_message* reply) {
    registrar.call.reset();
    const auto outcome = registrar.machine.replied(errorName(reply));
    traceReply(registrar, reply, outcome);
    perform(registrar, outcome.next);
    finishIfLeft();
}

// A refusal is traced once per kind until a registration succeeds, not at every retry.
void BluezPeripheralManager::traceReply(const Registrar& registrar, sd_bus_message* reply,
                                        const Registration::Outcome& outcome) {
    const char* method =
        registrar.isRegistering ? registrar.registerMethod : registrar.unregisterMethod;
    const auto adapter = adapterName(registrar.adapter);
    if (!sd_bus_message_is_method_error(reply, nullptr)) {
        if (registrar.isRegistering)
            trace_ << "bluez: " << registrar.what << " registered on " << adapter << '\n';
        return;
    }
    if (!outcome.isReported)
        return;
    trace_ << "bluez: " << method << " failed on " << adapter << ": " << errorText(reply);
    if (outcome.next.call == Registration::Call::retryAfter)
        trace_ << "; asking again in " << outcome.next.delay.count()
               << " s, and less often while it fails";
    else if (outcome.next.call == Registration::Call::unregisterFrom && registrar.isRegistering)
        trace_ << "; unregistering the stale one and registering again";
    trace_ << '\n';
}

void BluezPeripheralManager::leaveBluez(std::function<void()> finished) {
    onLeft_ = std::move(finished);
    trace_ << "bluez: leaving BlueZ: unregistering the application and the advertisement\n";
    perform(applicationRegistration_, applicationRegistration_.machine.leave());
    perform(advertisementRegistration_, advertisementRegistration_.machine.leave());
    finishIfLeft();
}

void BluezPeripheralManager::finishIfLeft() {
    if (!onLeft_ || !applicationRegistration_.machine.isIdle() ||
        !advertisementRegistration_.machine.isIdle())
        return;
    trace_ << "bluez: nothing of ours is registered with BlueZ any more\n";
    std::exchange(onLeft_, nullptr)();
}

}  // namespace quorla::platform::linux_

// The harness itself, driven by the smallest GATT application BlueZ accepts, exported here
// with sd-bus on the loop the harness runs.

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bluez/harness/child_process.hpp"
#include "bluez/harness/mock_bluez.hpp"
#include "bluez/harness/private_bus.hpp"

namespace quorla::testing {
namespace {

using platform::linux_::BusOwner;
using platform::linux_::check;
using platform::linux_::EventOwner;
using platform::linux_::SlotOwner;

constexpr const char* serviceUuid = "0000aaaa-0000-1000-8000-00805f9b34fb";
constexpr const char* characteristicUuid = "0000bbbb-0000-1000-8000-00805f9b34fb";
constexpr const char* applicationPath = "/test";
constexpr const char* servicePath = "/test/service0";
constexpr const char* characteristicPath = "/test/service0/char0";
constexpr const char* advertisementPath = "/test/advertisement0";
constexpr const char* characteristicInterface = "org.bluez.GattCharacteristic1";

struct Application {
    std::vector<std::string> flags{"read", "write-without-response", "notify"};
    std::vector<std::uint8_t> value{0x2A, 0x2B};
    std::vector<std::uint16_t> readOffsets;
    std::vector<std::pair<std::vector<std::uint8_t>, std::string>> writes;  // bytes, "type"
    int subscriptions = 0;
    int releases = 0;
    BusOwner bus;
    std::vector<SlotOwner> slots;

    int setValue(std::vector<std::uint8_t> bytes) {
        value = std::move(bytes);
        return sd_bus_emit_properties_changed(bus.get(), characteristicPath,
                                              characteristicInterface, "Value", nullptr);
    }
};

Application& of(void* userdata) {
    return *static_cast<Application*>(userdata);
}

int serviceProperty(sd_bus*, const char*, const char*, const char* property, sd_bus_message* reply,
                    void*, sd_bus_error*) {
    if (std::strcmp(property, "UUID") == 0)
        return sd_bus_message_append(reply, "s", serviceUuid);
    return sd_bus_message_append(reply, "b", 1);
}

int characteristicProperty(sd_bus*, const char*, const char*, const char* property,
                           sd_bus_message* reply, void* userdata, sd_bus_error*) {
    Application& application = of(userdata);
    if (std::strcmp(property, "UUID") == 0)
        return sd_bus_message_append(reply, "s", characteristicUuid);
    if (std::strcmp(property, "Service") == 0)
        return sd_bus_message_append(reply, "o", servicePath);
    if (std::strcmp(property, "Value") == 0)
        return sd_bus_message_append_array(reply, 'y', application.value.data(),
                                           application.value.size());
    int r = sd_bus_message_open_container(reply, 'a', "s");
    for (const std::string& flag : application.flags)
        if (r >= 0)
            r = sd_bus_message_append(reply, "s", flag.c_str());
    return r < 0 ? r : sd_bus_message_close_container(reply);
}

// Reads the options dictionary; "offset" must be a q and "type" an s, as BlueZ sends them.
int readOptions(sd_bus_message* message, std::uint16_t& offset, std::string& type,
                sd_bus_error* error) {
    int r = sd_bus_message_enter_container(message, 'a', "{sv}");
    while (r >= 0 && (r = sd_bus_message_enter_container(message, 'e', "sv")) > 0) {
        const char* key = nullptr;
        const char* text = nullptr;
        r = sd_bus_message_read(message, "s", &key);
        if (r >= 0 && std::strcmp(key, "offset") == 0)
            r = sd_bus_message_read(message, "v", "q", &offset);
        else if (r >= 0 && std::strcmp(key, "type") == 0 &&
                 (r = sd_bus_message_read(message, "v", "s", &text)) >= 0)
            type = text;
        else if (r >= 0)
            r = sd_bus_message_skip(message, "v");
        if (r >= 0)
            r = sd_bus_message_exit_container(message);
    }
    if (r < 0)
        return sd_bus_error_set(error, "org.bluez.Error.InvalidArguments", "bad options");
    return sd_bus_message_exit_container(message);
}

int readValue(sd_bus_message* message, void* userdata, sd_bus_error* error) {
    Application& application = of(userdata);
    std::uint16_t offset = 0;
    std::string type;
    if (const int r = readOptions(message, offset, type, error); r < 0)
        return r;
    application.readOffsets.push_back(offset);
    if (offset > application.value.size())
        return sd_bus_error_set(error, "org.bluez.Error.InvalidOffset", nullptr);
    sd_bus_message* reply = nullptr;
    int r = sd_bus_message_new_method_return(message, &reply);
    if (r >= 0)
        r = sd_bus_message_append_array(reply, 'y', application.value.data() + offset,
                                        application.value.size() - offset);
    if (r >= 0)
        r = sd_bus_send(nullptr, reply, nullptr);
    sd_bus_message_unref(reply);
    return r;
}

int writeValue(sd_bus_message* message, void* userdata, sd_bus_error* error) {
    const void* bytes = nullptr;
    std::size_t size = 0;
    if (const int r = sd_bus_message_read_array(message, 'y', &bytes, &size); r < 0)
        return r;
    std::vector<std::uint8_t> written(static_cast<const std::uint8_t*>(bytes),
                                      static_cast<const std::uint8_t*>(bytes) + size);
    std::uint16_t offset = 0;
    std::string type;
    if (const int r = readOptions(message, offset, type, error); r < 0)
        return r;
    of(userdata).writes.emplace_back(std::move(written), type);
    return sd_bus_reply_method_return(message, nullptr);
}

int startNotify(sd_bus_message* message, void* userdata, sd_bus_error*) {
    Application& application = of(userdata);
    ++application.subscriptions;
    // The subscriber hears the current value at once, before the reply.
    const int r = application.setValue(application.value);
    return r < 0 ? r : sd_bus_reply_method_return(message, nullptr);
}

int stopNotify(sd_bus_message* message, void* userdata, sd_bus_error*) {
    --of(userdata).subscriptions;
    return sd_bus_reply_method_return(message, nullptr);
}

int advertisementProperty(sd_bus*, const char*, const char*, const char* property,
                          sd_bus_message* reply, void*, sd_bus_error*) {
    if (std::strcmp(property, "Type") == 0)
        return sd_bus_message_append(reply, "s", "peripheral");
    return sd_bus_message_append(reply, "as", 1, serviceUuid);
}

int release(sd_bus_message* message, void* userdata, sd_bus_error*) {
    ++of(userdata).releases;
    return sd_bus_reply_method_return(message, nullptr);
}

const sd_bus_vtable serviceVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("UUID", "s", serviceProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Primary", "b", serviceProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_VTABLE_END};

const sd_bus_vtable characteristicVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("UUID", "s", characteristicProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Service", "o", characteristicProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Flags", "as", characteristicProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Value", "ay", characteristicProperty, 0, SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE),
    SD_BUS_METHOD("ReadValue", "a{sv}", "ay", readValue, 0),
    SD_BUS_METHOD("WriteValue", "aya{sv}", "", writeValue, 0),
    SD_BUS_METHOD("StartNotify", "", "", startNotify, 0),
    SD_BUS_METHOD("StopNotify", "", "", stopNotify, 0),
    SD_BUS_VTABLE_END};

const sd_bus_vtable advertisementVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("Type", "s", advertisementProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("ServiceUUIDs", "as", advertisementProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_METHOD("Release", "", "", release, 0), SD_BUS_VTABLE_END};

EventOwner newEvent() {
    sd_event* event = nullptr;
    check(sd_event_new(&event), "sd_event_new");
    return EventOwner(event);
}

class HarnessTest : public ::testing::Test {
  protected:
    HarnessTest() {
        mock.addAdapter("hci0");
        connectApplication();
    }

    // On "the system bus", which the private bus stands in for.
    void connectApplication() {
        application.slots.clear();
        sd_bus* bus = nullptr;
        check(sd_bus_open_system(&bus), "sd_bus_open_system");
        application.bus.reset(bus);
        check(sd_bus_attach_event(bus, event.get(), 0), "sd_bus_attach_event");
        auto add = [&](const char* path, const char* interface, const sd_bus_vtable* vtable) {
            sd_bus_slot* slot = nullptr;
            check(sd_bus_add_object_vtable(bus, &slot, path, interface, vtable, &application),
                  "sd_bus_add_object_vtable");
            application.slots.emplace_back(slot);
        };
        sd_bus_slot* slot = nullptr;
        check(sd_bus_add_object_manager(bus, &slot, applicationPath), "sd_bus_add_object_manager");
        application.slots.emplace_back(slot);
        add(servicePath, "org.bluez.GattService1", serviceVtable);
        add(characteristicPath, characteristicInterface, characteristicVtable);
        add(advertisementPath, "org.bluez.LEAdvertisement1", advertisementVtable);
    }

    // The application's call to BlueZ, made asynchronously as BlueZ calls back meanwhile.
    struct Call {
        std::optional<std::string> result;  // "" on success, else the error name
        SlotOwner slot;
    };

    void startCall(Call& call, const char* adapter, const char* interface, const char* method,
                   const char* path) {
        auto done = [](sd_bus_message* reply, void* userdata, sd_bus_error*) -> int {
            const sd_bus_error* error = sd_bus_message_get_error(reply);
            static_cast<Call*>(userdata)->result = error ? error->name : "";
            return 0;
        };
        const std::string object = std::string("/org/bluez/") + adapter;
        const bool registering = std::strncmp(method, "Register", 8) == 0;
        sd_bus_slot* slot = nullptr;
        check(registering ? sd_bus_call_method_async(application.bus.get(), &slot, "org.bluez",
                                                     object.c_str(), interface, method, done, &call,
                                                     "oa{sv}", path, 0)
                          : sd_bus_call_method_async(application.bus.get(), &slot, "org.bluez",
                                                     object.c_str(), interface, method, done, &call,
                                                     "o", path),
              "sd_bus_call_method_async");
        call.slot.reset(slot);
    }

    std::string callBluez(const char* adapter, const char* interface, const char* method,
                          const char* path) {
        Call call;
        startCall(call, adapter, interface, method, path);
        mock.runUntil([&] { return call.result.has_value(); });
        return call.result.value_or("no reply");
    }

    std::string registerApplication(const char* adapter = "hci0") {
        return callBluez(adapter, "org.bluez.GattManager1", "RegisterApplication", applicationPath);
    }

    std::string registerAdvertisement(const char* adapter = "hci0") {
        return callBluez(adapter, "org.bluez.LEAdvertisingManager1", "RegisterAdvertisement",
                         advertisementPath);
    }

    PrivateBus privateBus;
    EventOwner event = newEvent();
    MockBluez mock{privateBus, event.get()};
    Application application;
};

TEST_F(HarnessTest, CentralReadsWritesAndSubscribesThroughTheRegisteredApplication) {
    application.flags = {"read", "shout"};
    EXPECT_EQ(registerApplication(), "org.bluez.Error.InvalidArguments");
    application.flags = {"read", "write-without-response", "notify"};
    ASSERT_EQ(registerApplication(), "");
    EXPECT_EQ(registerApplication(), "org.bluez.Error.AlreadyExists");

    const nlohmann::json state = mock.state();
    ASSERT_EQ(state["applications"].size(), 1u);
    const nlohmann::json& registered = state["applications"][0];
    const char* unique = nullptr;
    check(sd_bus_get_unique_name(application.bus.get(), &unique), "sd_bus_get_unique_name");
    EXPECT_EQ(registered["sender"], unique);
    EXPECT_EQ(registered["adapter"], "hci0");
    EXPECT_EQ(registered["services"][0]["uuid"], serviceUuid);
    EXPECT_EQ(registered["services"][0]["primary"], true);
    EXPECT_EQ(registered["services"][0]["characteristics"][0]["flags"],
              nlohmann::json({"read", "write-without-response", "notify"}));
    EXPECT_EQ(state["calls"]["RegisterApplication"], 3);
    EXPECT_EQ(state["errors"].size(), 2u);

    EXPECT_EQ(mock.readValue("0000BBBB-0000-1000-8000-00805F9B34FB", 1),
              nlohmann::json({{"value", "2B"}}));
    EXPECT_EQ(mock.readValue(characteristicUuid), nlohmann::json({{"value", "2A2B"}}));
    EXPECT_EQ(mock.readValue(characteristicUuid, 3),
              nlohmann::json({{"error", "org.bluez.Error.InvalidOffset"}}));
    EXPECT_EQ(application.readOffsets, (std::vector<std::uint16_t>{1, 0, 3}));
    EXPECT_EQ(mock.writeValue(characteristicUuid, {0x31}), nlohmann::json::object());
    ASSERT_EQ(application.writes.size(), 1u);
    EXPECT_EQ(application.writes[0].first, std::vector<std::uint8_t>{0x31});
    EXPECT_EQ(application.writes[0].second, "command");

    EXPECT_EQ(mock.startNotify(characteristicUuid), nlohmann::json::object());
    EXPECT_EQ(application.subscriptions, 1);
    check(application.setValue({0xE0}), "sd_bus_emit_properties_changed");
    const nlohmann::json heard = {{{"uuid", characteristicUuid}, {"value", "2A2B"}},
                                  {{"uuid", characteristicUuid}, {"value", "E0"}}};
    mock.runUntil([&] { return mock.state()["notifications"].size() >= 2; });
    EXPECT_EQ(mock.state()["notifications"], heard);
    EXPECT_EQ(mock.stopNotify(characteristicUuid), nlohmann::json::object());
    EXPECT_EQ(application.subscriptions, 0);
    check(application.setValue({0xE8}), "sd_bus_emit_properties_changed");
    // The change and this read reach the mock in order, so the read proves it was ignored.
    EXPECT_EQ(mock.readValue(characteristicUuid), nlohmann::json({{"value", "E8"}}));
    EXPECT_EQ(mock.state()["notifications"], heard);

    EXPECT_EQ(mock.callMalformed(characteristicUuid, "offset-type"),
              nlohmann::json({{"error", "org.bluez.Error.InvalidArguments"}}));
    EXPECT_EQ(mock.callMalformed(characteristicUuid, "signature"),
              nlohmann::json({{"error", "org.freedesktop.DBus.Error.InvalidArgs"}}));
    EXPECT_EQ(application.readOffsets.size(), 4u);
    EXPECT_THROW(mock.readValue("0000cccc-0000-1000-8000-00805f9b34fb"), std::runtime_error);

    EXPECT_EQ(callBluez("hci0", "org.bluez.GattManager1", "UnregisterApplication", "/other"),
              "org.bluez.Error.DoesNotExist");
    EXPECT_EQ(callBluez("hci0", "org.bluez.GattManager1", "UnregisterApplication", applicationPath),
              "");
    EXPECT_TRUE(mock.state()["applications"].empty());
}

TEST_F(HarnessTest, RegistrationsEndWithTheirAdapterTheirOwnerAndTheDaemon) {
    ASSERT_EQ(registerAdvertisement(), "");
    const nlohmann::json advertisement = mock.state()["advertisements"][0];
    EXPECT_EQ(advertisement["type"], "peripheral");
    EXPECT_EQ(advertisement["service_uuids"], nlohmann::json({serviceUuid}));
    EXPECT_EQ(advertisement["properties"], nlohmann::json({"ServiceUUIDs", "Type"}));

    ASSERT_EQ(registerApplication(), "");
    mock.setPowered("hci0", false);
    nlohmann::json state = mock.state();
    EXPECT_EQ(state["adapters"]["hci0"]["powered"], false);
    EXPECT_TRUE(state["applications"].empty());
    EXPECT_TRUE(state["advertisements"].empty());
    mock.runUntil([&] { return application.releases == 1; });
    EXPECT_EQ(registerApplication(), "org.bluez.Error.NotReady");

    mock.setPowered("hci0", true);
    ASSERT_EQ(registerApplication(), "");
    mock.addAdapter("hci1", false);
    mock.removeAdapter("hci0");
    state = mock.state();
    EXPECT_EQ(state["adapters"], nlohmann::json({{"hci1", {{"powered", false}}}}));
    EXPECT_TRUE(state["applications"].empty());
    EXPECT_THROW(mock.setPowered("hci0", true), std::runtime_error);

    mock.setPowered("hci1", true);
    mock.stopDaemon();
    EXPECT_EQ(registerApplication("hci1"), "org.freedesktop.DBus.Error.ServiceUnknown");
    mock.startDaemon();
    EXPECT_EQ(mock.state()["adapters"], nlohmann::json({{"hci1", {{"powered", true}}}}));
    ASSERT_EQ(registerApplication("hci1"), "");
    // What a stopped daemon held is forgotten, and its restart does not bring it back.
    mock.stopDaemon();
    mock.startDaemon();
    EXPECT_TRUE(mock.state()["applications"].empty());

    mock.setReplyDelay(std::chrono::milliseconds(200));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(registerApplication("hci1"), "");
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));

    // A daemon that stops while it delays a reply leaves the caller with NoReply.
    mock.setReplyDelay(std::chrono::seconds(3));
    Call pending;
    startCall(pending, "hci1", "org.bluez.GattManager1", "RegisterApplication", "/late");
    mock.runUntil([&] { return mock.state()["calls"]["RegisterApplication"] == 6; });
    mock.stopDaemon();
    mock.runUntil([&] { return pending.result.has_value(); });
    EXPECT_EQ(pending.result, "org.freedesktop.DBus.Error.NoReply");
    mock.startDaemon();

    application.slots.clear();
    application.bus.reset();
    mock.runUntil([&] { return mock.state()["applications"].empty(); });
    EXPECT_EQ(mock.state()["calls"]["RegisterApplication"], 6);
}

// It would otherwise reach the real system bus.
TEST(MockBluezScript, RefusesToStartWithoutABusAddress) {
    ChildProcess mock({QUORLA_SYSTEM_PYTHON, QUORLA_MOCK_BLUEZ_SCRIPT}, -1);
    EXPECT_EQ(mock.status(std::chrono::steady_clock::now() + std::chrono::seconds(10)),
              std::string(QUORLA_SYSTEM_PYTHON) + " exited with 2");
}

}  // namespace
}  // namespace quorla::testing

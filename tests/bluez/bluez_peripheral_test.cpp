// The real core behind the BlueZ adapter, with the mock BlueZ as bluetoothd and the test as
// the central.

#include "platform/linux/bluez_peripheral.hpp"

#include <gtest/gtest.h>

#include <sstream>

#include "bluetooth/bluetooth_session_manager.hpp"
#include "bluetooth/identifiers.hpp"
#include "bluetooth/write_request_handling.hpp"
#include "bluez/harness/mock_bluez.hpp"
#include "bluez/harness/private_bus.hpp"
#include "fakes/fake_scripting_engine.hpp"
#include "fakes/fake_user_defaults.hpp"

namespace quorla::platform::linux_ {
namespace {

using bluetooth::BluetoothSessionManager;
using nlohmann::json;

constexpr const char* recordName = "_5d0c0ffee1234";
// Python's uuid.uuid5(UUID("1CDC9855-5713-4F64-B799-4AB82DC6D1C8"), "_5d0c0ffee1234").
constexpr const char* serviceUuid = "7381d9ce-e6e9-5ddb-a3ef-f6fc22841d01";

std::string lowerUuid(const platform::Uuid& uuid) {
    auto text = uuid.toString();
    for (auto& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Hands everything to the core, noting the states it was told and the reads it saw.
struct RecordingDelegate final : platform::PeripheralManagerDelegate {
    BluetoothSessionManager& core = BluetoothSessionManager::shared();
    std::vector<platform::ManagerState> states;
    int readRequests = 0;
    std::optional<std::uint8_t> readResult;  // answers reads itself with this ATT result

    void didUpdateState(platform::PeripheralManager& manager) override {
        states.push_back(manager.state());
        core.didUpdateState(manager);
    }
    void didSubscribe(platform::PeripheralManager& manager,
                      const platform::CharacteristicRef& characteristic) override {
        core.didSubscribe(manager, characteristic);
    }
    void didUnsubscribe(platform::PeripheralManager& manager,
                        const platform::CharacteristicRef& characteristic) override {
        core.didUnsubscribe(manager, characteristic);
    }
    void isReadyToUpdateSubscribers(platform::PeripheralManager& manager) override {
        core.isReadyToUpdateSubscribers(manager);
    }
    void didReceiveReadRequest(platform::PeripheralManager& manager,
                               platform::AttRequest& request) override {
        ++readRequests;
        if (readResult)
            manager.respond(request, static_cast<platform::AttResult>(*readResult));
        else
            core.didReceiveReadRequest(manager, request);
    }
    void didReceiveWriteRequests(platform::PeripheralManager& manager,
                                 const std::vector<platform::AttRequest>& requests) override {
        core.didReceiveWriteRequests(manager, requests);
    }
};

// One agent on one private bus with one mock bluetoothd.
struct World {
    testing::PrivateBus bus;
    EventLoop loop;
    testing::MockBluez mock;
    std::ostringstream trace;
    RecordingDelegate delegate;
    BluetoothSessionManager& core = BluetoothSessionManager::shared();

    World() : mock(bus, loop.event()) {
        fakes::FakeUserDefaults::shared().setString(bluetooth::iCloudUserIDDefaultsKey, recordName);
    }
    ~World() { core.peripheralManager.reset(); }

    void startAgent() {
        core.peripheralManager =
            std::make_unique<BluezPeripheralManager>(loop, delegate, std::nullopt, trace);
    }
    json state() { return mock.state(); }
    bool isPublished() {
        const auto now = mock.state();
        return now["applications"].size() == 1 && now["advertisements"].size() == 1;
    }
    int calls(const char* method) { return mock.state()["calls"][method].get<int>(); }
    bool traced(const std::string& text) const {
        return trace.str().find(text) != std::string::npos;
    }
};

TEST(BluezPeripheral, BlueZReceivesTheCoreServiceInOrderAndAnAdvertisementOfItsUuidOnly) {
    World world;
    world.mock.addAdapter("hci0");
    world.startAgent();
    ASSERT_TRUE(world.mock.runUntil([&] { return world.isPublished(); }));

    const auto state = world.state();
    const auto& services = state["applications"][0]["services"];
    ASSERT_EQ(services.size(), 1u);
    EXPECT_EQ(services[0]["uuid"], serviceUuid);
    EXPECT_EQ(services[0]["primary"], true);
    std::vector<std::string> uuids;
    for (const auto& characteristic : services[0]["characteristics"]) {
        uuids.push_back(characteristic["uuid"]);
        EXPECT_EQ(characteristic["flags"], json({"read", "write-without-response", "notify"}));
    }
    EXPECT_EQ(uuids,
              (std::vector<std::string>{lowerUuid(bluetooth::statusCharacteristicUUID()),
                                        lowerUuid(bluetooth::micRequestCharacteristicUUID()),
                                        lowerUuid(bluetooth::cameraRequestCharacteristicUUID()),
                                        lowerUuid(bluetooth::handRequestCharacteristicUUID()),
                                        lowerUuid(bluetooth::activeRequestCharacteristicUUID())}));

    const auto& advertisement = state["advertisements"][0];
    EXPECT_EQ(advertisement["type"], "peripheral");
    EXPECT_EQ(advertisement["service_uuids"], json({serviceUuid}));
    EXPECT_EQ(advertisement["properties"], json({"ServiceUUIDs", "Type"}));
    EXPECT_TRUE(world.traced(std::string("publishing service ") + serviceUuid));
    EXPECT_TRUE(world.traced(std::string("advertising service ") + serviceUuid));
}

TEST(BluezPeripheral, TheCentralReadsSubscribesAndWritesThroughToTheCore) {
    World world;
    world.mock.addAdapter("hci0");
    world.startAgent();
    ASSERT_TRUE(world.mock.runUntil([&] { return world.isPublished(); }));
    const auto status = lowerUuid(bluetooth::statusCharacteristicUUID());
    const auto mic = lowerUuid(bluetooth::micRequestCharacteristicUUID());

    // The whole byte, whatever the offset.
    EXPECT_EQ(world.mock.readValue(status), json({{"value", "E0"}}));
    EXPECT_EQ(world.mock.readValue(status, 1), json({{"value", "E0"}}));
    EXPECT_EQ(world.mock.readValue(mic), json({{"value", ""}}));

    EXPECT_EQ(world.mock.startNotify(status), json::object());
    ASSERT_TRUE(world.mock.runUntil([&] {
        return world.state()["notifications"] == json({{{"uuid", status}, {"value", "E0"}}});
    }));

    auto& engine = fakes::FakeScriptingEngine::shared();
    engine.setClient({.isInMeeting = true});
    EXPECT_EQ(world.mock.writeValue(mic, {'1'}), json::object());
    EXPECT_TRUE(engine.client().state().isMicOn) << "the client took the microphone shortcut";

    world.core.isConnected = world.core.isMicActive = true;
    world.core.pushStatus();
    ASSERT_TRUE(world.mock.runUntil([&] {
        return world.state()["notifications"].back() == json({{"uuid", status}, {"value", "EA"}});
    }));
    EXPECT_TRUE(world.traced("sent EA"));
}

TEST(BluezPeripheral, MalformedCallsAreRefusedWithoutReachingTheCore) {
    World world;
    world.mock.addAdapter("hci0");
    world.startAgent();
    ASSERT_TRUE(world.mock.runUntil([&] { return world.isPublished(); }));
    for (const char* kind : {"offset-type", "signature"}) {
        SCOPED_TRACE(kind);
        EXPECT_EQ(world.mock.callMalformed(lowerUuid(bluetooth::statusCharacteristicUUID()), kind),
                  json({{"error", "org.bluez.Error.InvalidArguments"}}));
    }
    EXPECT_EQ(world.delegate.readRequests, 0);
}

TEST(BluezPeripheral, AnAttErrorReachesTheCentralAsTheBlueZErrorOfThatCode) {
    World world;
    world.mock.addAdapter("hci0");
    world.startAgent();
    ASSERT_TRUE(world.mock.runUntil([&] { return world.isPublished(); }));
    const std::pair<std::uint8_t, const char*> cases[] = {
        {0x07, "org.bluez.Error.InvalidOffset"},
        {0x08, "org.bluez.Error.NotAuthorized"},
        {0x80, "org.bluez.Error.Failed"},  // an application error has no name of its own
    };
    for (auto [code, name] : cases) {
        SCOPED_TRACE(name);
        world.delegate.readResult = code;
        EXPECT_EQ(world.mock.readValue(lowerUuid(bluetooth::statusCharacteristicUUID())),
                  json({{"error", name}}));
    }
}

// Each disruption and its end reach the core once each, and the core publishes once again.
TEST(BluezPeripheral, PowerCyclesUnplugsAndDaemonRestartsRepublishExactlyOnce) {
    using State = platform::ManagerState;
    struct Case {
        const char* name;
        std::function<void(testing::MockBluez&)> disrupt, restore;
        State during;
    };
    const Case cases[] = {
        {"power cycle", [](auto& mock) { mock.setPowered("hci0", false); },
         [](auto& mock) { mock.setPowered("hci0", true); }, State::poweredOff},
        {"adapter unplugged", [](auto& mock) { mock.removeAdapter("hci0"); },
         [](auto& mock) { mock.addAdapter("hci0"); }, State::unsupported},
        {"bluetoothd restart", [](auto& mock) { mock.stopDaemon(); },
         [](auto& mock) { mock.startDaemon(); }, State::unknown},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        World world;
        world.mock.addAdapter("hci0");
        world.startAgent();
        ASSERT_TRUE(world.mock.runUntil([&] { return world.isPublished(); }));
        const int applications = world.calls("RegisterApplication");
        const int advertisements = world.calls("RegisterAdvertisement");

        test.disrupt(world.mock);
        ASSERT_TRUE(world.mock.runUntil([&] { return world.delegate.states.size() == 2; }));
        test.restore(world.mock);
        ASSERT_TRUE(world.mock.runUntil([&] { return world.isPublished(); }));
        // A round trip through the agent lets any second registration show.
        world.mock.readValue(lowerUuid(bluetooth::statusCharacteristicUUID()));

        EXPECT_EQ(world.delegate.states,
                  (std::vector<State>{State::poweredOn, test.during, State::poweredOn}));
        EXPECT_EQ(world.calls("RegisterApplication"), applications + 1);
        EXPECT_EQ(world.calls("RegisterAdvertisement"), advertisements + 1);
        EXPECT_EQ(world.state()["applications"].size(), 1u);
    }
}

TEST(BluezPeripheral, WithoutAdapterOrBluetoothdTheAgentWaitsAndPublishesOnceOneAppears) {
    for (const bool isDaemonRunning : {true, false}) {
        SCOPED_TRACE(isDaemonRunning);
        World world;
        if (!isDaemonRunning)
            world.mock.stopDaemon();
        world.startAgent();
        ASSERT_TRUE(world.mock.runUntil([&] { return world.delegate.states.size() == 1; }));
        EXPECT_TRUE(
            world.traced(isDaemonRunning ? "no Bluetooth adapter" : "bluetoothd is not running"));
        EXPECT_TRUE(world.traced("the agent keeps running and publishes once an adapter appears"));
        if (!isDaemonRunning)
            world.mock.startDaemon();
        world.mock.addAdapter("hci0");
        ASSERT_TRUE(world.mock.runUntil([&] { return world.isPublished(); }));
    }
}

}  // namespace
}  // namespace quorla::platform::linux_

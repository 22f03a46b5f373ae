#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "bluetooth/identifiers.hpp"
#include "bluez/harness/mock_bluez.hpp"
#include "bluez/harness/private_bus.hpp"
#include "e2e/agent_process.hpp"
#include "linux/temporary_folder.hpp"

namespace quorla::testing {
namespace {

using namespace std::chrono_literals;

std::string lowercased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

const std::string statusUuid = bluetooth::statusCharacteristicUUID().toString();
const std::string micUuid = bluetooth::micRequestCharacteristicUUID().toString();

class AgentTest : public ::testing::Test {
  protected:
    AgentTest() { mock.addAdapter("hci0"); }

    std::unique_ptr<AgentProcess> start(const std::vector<std::string>& arguments) {
        return std::make_unique<AgentProcess>(arguments, configHome.path());
    }

    // The UUID of the service the agent registered, once it is advertised as well.
    std::string publishedService() {
        std::string uuid;
        mock.runUntil(
            [&] {
                const auto state = mock.state();
                if (state["applications"].empty() || state["advertisements"].empty())
                    return false;
                uuid = state["applications"][0]["services"][0]["uuid"];
                return true;
            },
            10s);
        return lowercased(uuid);
    }

    // The status values notified so far, as bytes.
    std::vector<std::uint8_t> statusNotifications() {
        std::vector<std::uint8_t> values;
        const auto state = mock.state();
        for (const auto& notification : state["notifications"]) {
            if (lowercased(notification["uuid"]) == lowercased(statusUuid))
                values.push_back(static_cast<std::uint8_t>(
                    std::stoul(notification["value"].get<std::string>(), nullptr, 16)));
        }
        return values;
    }

    // Waits for a notification after the first `seen` whose value satisfies predicate.
    bool awaitNotification(std::size_t seen, const std::function<bool(std::uint8_t)>& predicate,
                           std::chrono::milliseconds deadline) {
        return mock.runUntil(
            [&] {
                const auto values = statusNotifications();
                return std::any_of(values.begin() + std::min(seen, values.size()), values.end(),
                                   predicate);
            },
            deadline);
    }

    std::optional<int> awaitExit(AgentProcess& agent) {
        mock.runUntil([&] { return agent.exitStatus().has_value(); }, 10s);
        return agent.exitStatus();
    }

    TemporaryFolder configHome;
    std::filesystem::path settingsPath = configHome.path() / "quorla" / "settings.json";
    PrivateBus bus;
    MockBluez mock{bus, nullptr};
};

TEST_F(AgentTest, PublishesTheServiceOfTheGivenNameAndReadsIdleWithoutAClient) {
    auto agent = start({"--record-name", "_e2e0user", "--client", "not-running"});
    const auto expected = bluetooth::nameBasedUUID("_e2e0user", bluetooth::serviceNamespaceUUID());
    EXPECT_EQ(publishedService(), lowercased(expected.toString()));
    EXPECT_EQ(mock.readValue(statusUuid), nlohmann::json({{"value", "E0"}}));
    EXPECT_EQ(agent->output(), "found userID: _e2e0user\n");
}

TEST_F(AgentTest, AMeetingIsNotifiedWithinOnePollAndARequestRightAfterIt) {
    auto agent = start({"--record-name", "_e2e1user", "--client", "meeting", "--camera", "on"});
    publishedService();
    ASSERT_EQ(mock.startNotify(statusUuid), nlohmann::json::object());

    // Connected and camera on: the first poll comes one 3 s interval after start-up.
    EXPECT_TRUE(awaitNotification(
        0, [](auto value) { return value == 0xE9; }, 4500ms))
        << agent->trace();

    auto seen = statusNotifications().size();
    ASSERT_EQ(mock.writeValue(micUuid, {'1'}), nlohmann::json::object());
    // Well inside one poll interval, so it cannot be the timer's poll that sent it.
    EXPECT_TRUE(awaitNotification(
        seen, [](auto value) { return value == 0xEB; }, 1500ms));
    EXPECT_NE(agent->trace().find("request: unmute"), std::string::npos) << agent->trace();
    EXPECT_NE(agent->trace().find("client: microphone on"), std::string::npos);
    agent->send("status");
    mock.runUntil([&] { return agent->trace().find("status: 0xEB") != std::string::npos; }, 2s);

    seen = statusNotifications().size();
    agent->send("quit-client");
    EXPECT_TRUE(awaitNotification(
        seen, [](auto value) { return (value & 0x08) == 0; }, 2s));
}

TEST_F(AgentTest, ALaunchWithoutANameUsesTheNameStoredByAnEarlierOne) {
    auto first = start({"--record-name", "_e2e2user"});
    const auto service = publishedService();
    first->signal(SIGTERM);
    ASSERT_EQ(awaitExit(*first), 0);

    auto second = start({});
    EXPECT_EQ(publishedService(), service);
    mock.runUntil([&] { return !second->output().empty(); });
    EXPECT_EQ(second->output(),
              "no iCloud account on this system; start with --record-name NAME\n");
}

TEST_F(AgentTest, ACorruptSettingsFileIsMovedAsideAndReported) {
    writeFile(settingsPath, "{\"quorla.iCloudUserID\": ");
    auto agent = start({"--record-name", "_e2e3user"});
    publishedService();

    EXPECT_NE(agent->trace().find("cannot be parsed"), std::string::npos) << agent->trace();
    std::size_t asideFiles = 0;
    for (const auto& entry : std::filesystem::directory_iterator(settingsPath.parent_path())) {
        if (entry.path().filename().string().starts_with("settings.json.corrupt-")) {
            ++asideFiles;
            EXPECT_EQ(readFile(entry.path()), "{\"quorla.iCloudUserID\": ");
        }
    }
    EXPECT_EQ(asideFiles, 1u);
    EXPECT_EQ(nlohmann::json::parse(readFile(settingsPath))["quorla.iCloudUserID"], "_e2e3user");
}

TEST_F(AgentTest, EveryWayOfQuittingExitsZeroWithEverythingUnregistered) {
    struct Way {
        const char* name;
        std::function<void(AgentProcess&)> quit;
    };
    const Way ways[] = {
        {"SIGTERM", [](AgentProcess& agent) { agent.signal(SIGTERM); }},
        {"SIGINT", [](AgentProcess& agent) { agent.signal(SIGINT); }},
        {"console quit", [](AgentProcess& agent) { agent.send("quit"); }},
    };
    int round = 0;
    for (const auto& way : ways) {
        SCOPED_TRACE(way.name);
        ++round;
        auto agent = start({"--record-name", "_e2e4user", "--client", "meeting"});
        publishedService();
        way.quit(*agent);
        EXPECT_EQ(awaitExit(*agent), 0) << agent->trace();

        const auto state = mock.state();
        EXPECT_TRUE(state["applications"].empty());
        EXPECT_TRUE(state["advertisements"].empty());
        EXPECT_EQ(state["calls"]["UnregisterApplication"], round);
        EXPECT_EQ(state["calls"]["UnregisterAdvertisement"], round);
    }
}

TEST(AgentCommandLineTest, AnAgentThatCannotStartSaysWhyAndChangesNothingStored) {
    TemporaryFolder configHome;
    const auto settingsPath = configHome.path() / "quorla" / "settings.json";
    const std::string stored = "{\"quorla.iCloudUserID\": \"kept\"}";
    writeFile(settingsPath, stored);
    // The command line is checked before the bus.
    const auto missingBus = configHome.path() / "system_bus_socket";
    setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + missingBus.string()).c_str(), 1);
    struct Case {
        std::vector<std::string> arguments;
        int status;
        long lines;
        std::string trace;  // how it ends; the options' refusals are their unit tests' business
    };
    const Case cases[] = {
        {{"--record-name", ""}, 2, 2, "Try 'quorla --help' for the options.\n"},
        {{"--bogus"}, 2, 2, "Try 'quorla --help' for the options.\n"},
        {{"--record-name", "_e2e5user"},
         1,
         1,
         "quorla: no D-Bus system bus (" + missingBus.string() +
             ": No such file or directory); Bluetooth needs bluetoothd on the system bus\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.front() + (c.arguments.size() > 1 ? " " + c.arguments[1] : ""));
        AgentProcess agent(c.arguments, configHome.path());
        EXPECT_EQ(agent.awaitExit(10s), c.status);
        EXPECT_EQ(agent.output(), "");
        EXPECT_TRUE(agent.trace().ends_with(c.trace)) << agent.trace();
        EXPECT_EQ(std::count(agent.trace().begin(), agent.trace().end(), '\n'), c.lines);
        EXPECT_EQ(readFile(settingsPath), stored);
    }
}

}  // namespace
}  // namespace quorla::testing

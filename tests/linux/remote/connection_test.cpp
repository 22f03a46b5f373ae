#include "platform/linux/remote/connection.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace quorla::remote {
namespace {

using Call = Connection::Call;

const auto service = platform::Uuid::fromString("B59E243A-CDC0-590E-813E-91A84F9E841C").value();
const std::string ours = "b59e243a-cdc0-590e-813e-91a84f9e841c";

std::string path(const std::string& name) {
    return "/org/bluez/" + name;
}

std::string device(const std::string& name) {
    return path("hci0/") + name;
}

std::string lastPart(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

// The agent's GATT objects under a device, as BlueZ lists them; broken: without the hand.
ReportedGatt gattOf(const std::string& device, bool isBroken) {
    const char* uuids[] = {
        "e826e5d9-d84f-4bc0-a8e7-ee71933b7c30", "9544cc4b-ae2b-4d23-9988-91f785b4ebe0",
        "416e2079-70be-4be1-8df2-429652f50c67", "b6b279ab-e82f-4ca7-a083-1b3b6f08280b",
        "51e0b506-c88a-414e-9603-dabc63ebb6ba"};
    ReportedGatt gatt{{{device + "/service000a", ours}}, {}};
    for (int index = 0; index < 5; ++index)
        if (!isBroken || index != 3)
            gatt.characteristics.push_back({device + "/service000a/char" + std::to_string(index),
                                            device + "/service000a",
                                            uuids[index],
                                            {"read", "write-without-response", "notify"}});
    return gatt;
}

std::string describe(const Connection::Steps& steps) {
    std::string text;
    for (const auto& step : steps) {
        const auto name = lastPart(step.path);
        const char* words[] = {"objects",  "filter ",     "start ", "stop ",  "rescan",
                               "connect ", "disconnect ", "",       "ready ", "fail: "};
        if (step.call == Call::note)
            continue;
        text += (text.empty() ? "" : ", ") + std::string(words[static_cast<int>(step.call)]) +
                (step.call == Call::ready || step.call == Call::fail ? step.line : name);
    }
    return text.empty() ? "nothing" : text;
}

// Plays a story on a connection that waits 30 s, looking on the adapter wanted (none: the
// first), and tells the calls each event asked for, "nothing" where none. Devices are named
// A, B, ...; their address is their name. Events:
//   bluez:hci0,hci1-off[+A[=up]]  the objects BlueZ holds at the start: adapters, off when
//                            unpowered, and a device it knows with our service (up:
//                            connected already, its services resolved)
//   ok:CALL, refused:CALL    BlueZ's reply to filter, start, stop, connect or objects
//   seen:A, other:A, far:A   A advertises our service; A advertises, without our service
//                            listed; A is heard on hci1
//   resolved:A, down:A, paired:A, removed:A
//   gatt:A, broken:A         the objects, with A's GATT database (broken: no hand)
//   gone, rescan, timeout, leave, service-gone
//   att, read, att-refused   a write, a read sent; a reply refusing the last one
std::string play(const std::string& story, std::optional<std::string> wanted = std::nullopt) {
    Connection connection(service, std::move(wanted), std::chrono::seconds(30));
    std::istringstream events(story);
    std::string told = describe(connection.start());
    bool isRead = false;
    for (std::string event; events >> event;) {
        const auto colon = event.find(':');
        const auto verb = event.substr(0, colon);
        const auto argument = colon == std::string::npos ? "" : event.substr(colon + 1);
        Connection::Steps steps;
        const auto report = [&](Connection::DeviceReport r) {
            r.address = argument;
            return connection.deviceReported(device(argument), r);
        };
        if (verb == "bluez") {
            Connection::Objects objects;
            std::istringstream adapters(argument.substr(0, argument.find('+')));
            for (std::string name; std::getline(adapters, name, ',');)
                objects.adapters.emplace_back(path(name.substr(0, name.find('-'))),
                                              !name.ends_with("-off"));
            if (const auto plus = argument.find('+'); plus != std::string::npos) {
                const auto known = argument.substr(plus + 1, 1);
                const bool isUp = argument.ends_with("=up");
                objects.devices[device(known)] = {path("hci0"), known, {{ours}}, isUp,
                                                  isUp,         {},    false};
            }
            steps = connection.objectsRead(objects);
        } else if (verb == "ok" || verb == "refused") {
            const std::map<std::string, Call> calls{{"filter", Call::setFilter},
                                                    {"start", Call::startDiscovery},
                                                    {"stop", Call::stopDiscovery},
                                                    {"connect", Call::connect},
                                                    {"objects", Call::getObjects}};
            steps = connection.replied(
                calls.at(argument),
                verb == "ok" ? std::nullopt : std::optional<std::string>("org.bluez.X"));
        } else if (verb == "seen")
            steps = report({path("hci0"), {}, {{ours}}, {}, {}, {}, true});
        else if (verb == "other")
            steps = report(
                {path("hci0"), {}, {{"00001800-0000-1000-8000-00805f9b34fb"}}, {}, {}, {}, true});
        else if (verb == "far")
            steps = report({path("hci1"), {}, {{ours}}, {}, {}, {}, true});
        else if (verb == "resolved")
            steps = report({{}, {}, {}, true, true, {}, false});
        else if (verb == "down")
            steps = report({{}, {}, {}, false, false, {}, false});
        else if (verb == "paired")
            steps = report({{}, {}, {}, {}, {}, true, false});
        else if (verb == "removed")
            steps = connection.deviceRemoved(device(argument));
        else if (verb == "gatt" || verb == "broken")
            steps = connection.objectsRead({{}, {}, gattOf(device(argument), verb == "broken")});
        else if (verb == "gone")
            steps = connection.bluezGone();
        else if (verb == "rescan")
            steps = connection.rescanDue();
        else if (verb == "timeout")
            steps = connection.timedOut();
        else if (verb == "leave")
            steps = connection.leave();
        else if (verb == "service-gone")
            steps = connection.characteristicRemoved(connection.paths()[1]);
        else if (verb == "att" || verb == "read")
            connection.attSent(isRead = verb == "read");
        else if (verb == "att-refused")
            steps = connection.attReplied(isRead, "WriteValue", "org.bluez.Error.Failed");
        else {
            ADD_FAILURE() << "no event " << event;
            continue;
        }
        if (verb != "att" && verb != "read")
            told += " | " + describe(steps);
    }
    return told;
}

constexpr const char* found = "bluez:hci0 ok:filter ok:start seen:A";
constexpr const char* scan = "objects | filter hci0 | start hci0 | rescan | stop hci0, connect A";

TEST(ConnectionTest, EachReplyAndEventLeadsToTheNextCall) {
    struct Case {
        const char* name;
        std::string story;
        std::string calls;
        std::optional<std::string> wanted = std::nullopt;
    };
    const Case cases[] = {
        {"found by a scan, connected, resolved, checked",
         std::string(found) + " ok:connect resolved:A gatt:A",
         std::string(scan) + " | nothing | objects | ready A"},
        {"resolved before the Connect reply", std::string(found) + " resolved:A ok:connect gatt:A",
         std::string(scan) + " | nothing | objects | ready A"},
        {"known to BlueZ: connected without a scan", "bluez:hci0+A ok:connect resolved:A gatt:A",
         "objects | connect A | nothing | objects | ready A"},
        {"known to BlueZ but out of reach: scanned for", "bluez:hci0+A refused:connect",
         "objects | connect A | filter hci0"},
        {"found but refused", std::string(found) + " refused:connect",
         std::string(scan) + " | fail: Connect to A failed: org.bluez.X"},
        {"the first adapter in natural order", "bluez:hci10,hci2", "objects | filter hci2"},
        {"no adapter", "bluez:", "objects | fail: no Bluetooth adapter"},
        {"the adapter asked for is missing", "bluez:hci0",
         "objects | fail: no Bluetooth adapter hci1", "hci1"},
        {"the adapter asked for", "bluez:hci0,hci1", "objects | filter hci1", "hci1"},
        {"powered off", "bluez:hci0-off", "objects | fail: the adapter hci0 is powered off"},
        {"bluetoothd not running", "gone",
         "objects | fail: bluetoothd is not running (no org.bluez on the system bus)"},
        {"bluetoothd stopping later", "bluez:hci0 gone",
         "objects | filter hci0 | fail: bluetoothd stopped"},
        {"refused objects", "refused:objects",
         "objects | fail: GetManagedObjects of BlueZ failed: org.bluez.X"},
        {"refused filter", "bluez:hci0 refused:filter",
         "objects | filter hci0 | fail: SetDiscoveryFilter on hci0 failed: org.bluez.X"},
        {"rescanned only once the stop has completed",
         "bluez:hci0 ok:filter ok:start rescan ok:stop ok:start",
         "objects | filter hci0 | start hci0 | rescan | stop hci0 | start hci0 | rescan"},
        {"a device on another adapter ignored", "bluez:hci0 ok:filter ok:start far:A",
         "objects | filter hci0 | start hci0 | rescan | nothing"},
        {"found while discovery starts: stopped once started",
         "bluez:hci0 ok:filter seen:A ok:start",
         "objects | filter hci0 | start hci0 | connect A | stop hci0"},
        {"a stale rescan", std::string(found) + " rescan", std::string(scan) + " | nothing"},
        {"not the agent: refused in one line",
         std::string(found) + " ok:connect resolved:A broken:A",
         std::string(scan) + " | nothing | objects | fail: A is not a Quorla agent: no hand "
                             "characteristic B6B279AB-E82F-4CA7-A083-1B3B6F08280B in the service"},
        {"a candidate without our service: passed over, then another tried",
         "bluez:hci0 ok:filter ok:start other:A ok:connect resolved:A broken:A ok:filter ok:start "
         "other:A seen:B",
         "objects | filter hci0 | start hci0 | rescan | stop hci0, connect A | nothing | objects | "
         "disconnect A, filter hci0 | start hci0 | rescan | nothing | stop hci0, connect B"},
        {"a candidate that refuses to connect",
         "bluez:hci0 ok:filter ok:start other:A refused:connect",
         "objects | filter hci0 | start hci0 | rescan | stop hci0, connect A | disconnect A, "
         "filter hci0"},
        {"timed out scanning", "bluez:hci0 timeout",
         "objects | filter hci0 | fail: no device advertised the service "
         "B59E243A-CDC0-590E-813E-91A84F9E841C within 30 s"},
        {"timed out connecting", std::string(found) + " timeout",
         std::string(scan) + " | fail: no connection to A within 30 s"},
        {"timed out resolving", std::string(found) + " ok:connect timeout",
         std::string(scan) + " | nothing | fail: the services of A were not resolved within 30 s"},
        {"ready, then disconnected",
         std::string(found) + " ok:connect resolved:A gatt:A down:A timeout",
         std::string(scan) + " | nothing | objects | ready A | fail: the link to A was lost "
                             "(disconnected) | nothing"},
        {"ready, then the agent's service gone",
         std::string(found) + " ok:connect resolved:A gatt:A service-gone",
         std::string(scan) + " | nothing | objects | ready A | fail: the link to A was lost (the "
                             "agent's service went away)"},
        {"ready, then the device removed",
         std::string(found) + " ok:connect resolved:A gatt:A removed:A",
         std::string(scan) + " | nothing | objects | ready A | fail: the link to A was lost (BlueZ "
                             "removed the device)"},
        {"unpaired, the link dropped during a write",
         std::string(found) + " ok:connect resolved:A gatt:A att down:A",
         std::string(scan) + " | nothing | objects | ready A | fail: the agent requires pairing; "
                             "run 'quorla-remote pair' first"},
        {"unpaired, a write refused",
         std::string(found) + " ok:connect resolved:A gatt:A att att-refused",
         std::string(scan) + " | nothing | objects | ready A | fail: the agent requires pairing; "
                             "run 'quorla-remote pair' first"},
        {"paired, a write refused",
         std::string(found) + " ok:connect resolved:A paired:A gatt:A att att-refused",
         std::string(scan) + " | nothing | objects | nothing | ready A | fail: WriteValue failed: "
                             "org.bluez.Error.Failed"},
        {"leaving while scanning", "bluez:hci0 ok:filter ok:start leave",
         "objects | filter hci0 | start hci0 | rescan | stop hci0"},
        {"leaving a device we connected",
         std::string(found) + " ok:connect resolved:A gatt:A leave",
         std::string(scan) + " | nothing | objects | ready A | disconnect A"},
        {"leaving a device connected before us", "bluez:hci0+A=up ok:connect gatt:A leave",
         "objects | connect A | objects | ready A | nothing"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(play(c.story, c.wanted), c.calls) << c.name << ": " << c.story;
}

TEST(ConnectionTest, OnlyAValueChangeOutsideOurReadsIsANotification) {
    Connection connection(service, std::nullopt, std::chrono::seconds(30));
    connection.start();
    connection.objectsRead({{{path("hci0"), true}},
                            {{device("A"), {path("hci0"), "A", {{ours}}, {}, true, {}, false}}},
                            {}});
    connection.replied(Call::connect, std::nullopt);
    const auto status = gattOf(device("A"), false).characteristics[0].path;
    EXPECT_FALSE(connection.isNotification(status));  // not ready yet
    connection.objectsRead({{}, {}, gattOf(device("A"), false)});
    EXPECT_TRUE(connection.isNotification(status));
    EXPECT_FALSE(connection.isNotification(connection.paths()[1]));
    connection.attSent(true);
    EXPECT_FALSE(connection.isNotification(status));
    connection.attReplied(true, "ReadValue", std::nullopt);
    EXPECT_TRUE(connection.isNotification(status));
}

}  // namespace
}  // namespace quorla::remote

#include "platform/linux/remote/connection.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "linux/remote/reported_agent.hpp"

namespace quorla::remote {
namespace {

using Call = Connection::Call;

const std::string ours = "b59e243a-cdc0-590e-813e-91a84f9e841c";

// The agent's GATT objects under device A as BlueZ lists them; broken: without the hand.
ReportedGatt gatt(bool isBroken) {
    return reportedAgent("/org/bluez/hci0/A",
                         isBroken ? std::optional<std::size_t>(3) : std::nullopt);
}

std::string describe(const Connection::Steps& steps) {
    const char* words[] = {"objects", "filter",     "start", "stop",  "rescan",
                           "connect", "disconnect", "",      "ready", "fail:"};
    std::string text;
    for (const auto& step : steps)
        if (step.call != Call::note)
            text += (text.empty() ? "" : ", ") + std::string(words[static_cast<int>(step.call)]) +
                    (step.path.empty() ? "" : " " + step.path.substr(step.path.rfind('/') + 1)) +
                    (step.call >= Call::ready ? " " + step.line : "");
    return text.empty() ? "-" : text;
}

// Plays a story on a connection that waits 30 s on hci0 (hci1 when wanted) and tells the
// calls each event asked for, "-" where none. Devices are named A, B; their address is their
// name. Events: bluez:hci0,hci1-off[+A[=up]] (BlueZ's objects at the start: adapters, off
// when unpowered, a device it knows with our service, up: connected already); ok:CALL or
// no:CALL (BlueZ's reply to filter, start, stop, connect); seen:A (advertising our service),
// other:A (advertising, our service not listed), resolved:A, down:A, paired:A; gatt, broken
// (the objects, with A's database); gone, rescan, timeout, leave, service-gone; write (sent)
// and refused (its reply); pair (a Pair call sent).
std::string play(const std::string& story, std::optional<std::string> wanted = std::nullopt) {
    Connection connection(abcService, std::move(wanted), std::chrono::seconds(30));
    std::istringstream events(story);
    std::string told = describe(connection.start());
    for (std::string event; events >> event;) {
        const auto verb = event.substr(0, event.find(':'));
        const auto argument = event.substr(event.find(':') + 1);
        const std::map<std::string, Call> calls{{"filter", Call::setFilter},
                                                {"start", Call::startDiscovery},
                                                {"stop", Call::stopDiscovery},
                                                {"connect", Call::connect}};
        Connection::Steps steps;
        if (verb == "bluez") {
            Connection::Objects objects;
            std::istringstream adapters(argument.substr(0, argument.find('+')));
            for (std::string name; std::getline(adapters, name, ',');)
                objects.adapters.emplace_back("/org/bluez/" + name.substr(0, name.find('-')),
                                              !name.ends_with("-off"));
            if (argument.find('+') != std::string::npos) {
                auto& known = objects.devices["/org/bluez/hci0/A"];
                known.adapter = "/org/bluez/hci0";
                known.address = "A";
                known.uuids = {ours};
                known.isConnected = known.areServicesResolved = argument.ends_with("=up");
            }
            steps = connection.objectsRead(objects);
        } else if (verb == "ok" || verb == "no")
            steps = connection.replied(
                calls.at(argument), verb == "ok" ? std::nullopt : std::optional<std::string>("E"));
        else if (verb == "seen" || verb == "other" || verb == "resolved" || verb == "down" ||
                 verb == "paired") {
            Connection::DeviceReport device;
            device.adapter = "/org/bluez/hci0";
            device.address = argument;
            if (verb == "seen" || verb == "other") {
                device.uuids = {verb == "seen" ? ours : "1800"};
                device.isAdvertising = true;
            } else if (verb == "paired") {
                device.isPaired = true;
            } else {
                device.isConnected = device.areServicesResolved = verb == "resolved";
            }
            steps = connection.deviceReported("/org/bluez/hci0/" + argument, device);
        } else if (verb == "gatt" || verb == "broken")
            steps = connection.objectsRead({{}, {}, gatt(verb == "broken")});
        else if (verb == "write")
            connection.attSent(false);
        else if (verb == "pair")
            connection.setPairing(true);
        else
            steps = verb == "gone"      ? connection.bluezGone()
                    : verb == "rescan"  ? connection.rescanDue()
                    : verb == "timeout" ? connection.timedOut()
                    : verb == "leave"   ? connection.leave()
                    : verb == "refused" ? connection.attReplied(false, "WriteValue", "E")
                                        : connection.characteristicRemoved(connection.paths()[1]);
        told += (verb == "write" || verb == "pair" ? "" : " | " + describe(steps));
    }
    return told;
}

const std::string found = "bluez:hci0 ok:filter ok:start seen:A";
const std::string scanned = "objects | filter hci0 | start hci0 | rescan | stop hci0, connect A";
const std::string ready = found + " ok:connect resolved:A gatt";
const std::string isReady = scanned + " | - | objects | ready A";

TEST(ConnectionTest, EachReplyAndEventLeadsToTheNextCall) {
    const std::tuple<std::string, std::string, std::optional<std::string>> cases[] = {
        {ready + " leave", isReady + " | disconnect A", {}},
        {"bluez:hci0+A=up ok:connect gatt leave",
         "objects | connect A | objects | ready A | -",
         {}},
        {"bluez:hci0+A no:connect", "objects | connect A | filter hci0", {}},
        {found + " no:connect", scanned + " | fail: Connect to A failed: E", {}},
        {"bluez:hci10,hci2", "objects | filter hci2", {}},
        {"bluez:hci0", "objects | fail: no Bluetooth adapter hci1", "hci1"},
        {"bluez:hci0-off", "objects | fail: the adapter hci0 is powered off", {}},
        {"bluez:", "objects | fail: no Bluetooth adapter", {}},
        {"gone", "objects | fail: bluetoothd is not running (no org.bluez on the system bus)", {}},
        {"bluez:hci0 gone", "objects | filter hci0 | fail: bluetoothd stopped", {}},
        {"bluez:hci0 ok:filter ok:start rescan ok:stop ok:start leave",
         "objects | filter hci0 | start hci0 | rescan | stop hci0 | start hci0 | rescan | stop "
         "hci0",
         {}},
        {"bluez:hci0 ok:filter seen:A ok:start",
         "objects | filter hci0 | start hci0 | connect A | stop hci0",
         {}},
        {found + " ok:connect resolved:A broken",
         scanned + " | - | objects | fail: A is not a Quorla agent: no hand characteristic "
                   "B6B279AB-E82F-4CA7-A083-1B3B6F08280B in the service",
         {}},
        {"bluez:hci0 ok:filter ok:start other:A ok:connect resolved:A broken ok:filter ok:start "
         "other:A seen:B",
         scanned + " | - | objects | disconnect A, filter hci0 | start hci0 | rescan | - | "
                   "stop hci0, connect B",
         {}},
        {"bluez:hci0 timeout",
         "objects | filter hci0 | fail: no device advertised the service "
         "B59E243A-CDC0-590E-813E-91A84F9E841C within 30 s",
         {}},
        {found + " timeout", scanned + " | fail: no connection to A within 30 s", {}},
        {found + " ok:connect timeout",
         scanned + " | - | fail: the services of A were not resolved within 30 s",
         {}},
        {ready + " down:A timeout",
         isReady + " | fail: the link to A was lost (disconnected) | -",
         {}},
        {ready + " service-gone",
         isReady + " | fail: the link to A was lost (the agent's service went away)",
         {}},
        {ready + " write down:A",
         isReady + " | fail: the agent requires pairing; run 'quorla-remote pair' first",
         {}},
        {ready + " paired:A write refused", isReady + " | - | fail: WriteValue failed: E", {}},
        {ready + " pair down:A",
         isReady + " | fail: pairing with A failed (the link was lost: disconnected)",
         {}},
    };
    for (const auto& [story, calls, wanted] : cases)
        EXPECT_EQ(play(story, wanted), calls) << story;
}

TEST(ConnectionTest, OnlyAValueChangeOutsideOurReadsIsANotification) {
    Connection connection(abcService, std::nullopt, std::chrono::seconds(30));
    Connection::Objects objects{{{"/org/bluez/hci0", true}}, {}, {}};
    auto& known = objects.devices["/org/bluez/hci0/A"];
    known.adapter = "/org/bluez/hci0";
    known.address = "A";
    known.uuids = {ours};
    known.areServicesResolved = true;
    connection.objectsRead(objects);
    connection.replied(Call::connect, std::nullopt);
    const auto status = gatt(false).characteristics[0].path;
    EXPECT_FALSE(connection.isNotification(status));  // not ready yet
    connection.objectsRead({{}, {}, gatt(false)});
    EXPECT_TRUE(connection.isNotification(status));
    EXPECT_FALSE(connection.isNotification(connection.paths()[1]));
    connection.attSent(true);
    EXPECT_FALSE(connection.isNotification(status));
}

}  // namespace
}  // namespace quorla::remote

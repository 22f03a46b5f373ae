#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/linux/bluez/adapter_choice.hpp"
#include "platform/linux/remote/gatt_layout.hpp"
#include "platform/uuid.hpp"

namespace quorla::remote {

// The companion's way to the agent through BlueZ: the adapter, a filtered scan (started
// afresh every few seconds), the connection, the resolved services and the layout check,
// then the link until it is lost or the program leaves BlueZ as it found it. For each reply
// and event it says which calls come next; the bus side makes them and reports back. There
// is no bus here, so each decision is checked by table.
//
// A device BlueZ already knows with our service is tried at once. A device whose services
// BlueZ resolved before keeps listing those, not what it advertises now, so one that our
// filtered scan reports is tried even without our service listed: the layout check
// decides, and the scan goes on if it is not the agent.
class Connection {
  public:
    enum class Call {
        getObjects,      // BlueZ's ObjectManager, then objectsRead
        setFilter,       // on path, the adapter: the service in line (as BlueZ writes it), LE
        startDiscovery,  // on path, the adapter
        stopDiscovery,   // on path, the adapter
        rescanAfter,     // then rescanDue
        connect,         // path, the device
        disconnect,      // path, the device
        note,            // line for the trace
        ready,           // line: the agent's address; nothing more until the program asks
        fail,            // line: why it cannot go on; nothing is asked after it
    };
    struct Step {
        Call call;
        std::string path{};
        std::string line{};
        bool operator==(const Step&) const = default;
    };
    using Steps = std::vector<Step>;
    // The emulated controllers report an advertiser only as a scan starts, and the kernel
    // can drop that report; a scan started afresh gets a new one.
    static constexpr std::chrono::seconds rescanInterval{5};

    // What BlueZ reported of a device; what it did not report is left as it was.
    struct DeviceReport {
        std::optional<std::string> adapter;  // object path
        std::optional<std::string> address;
        std::optional<std::vector<std::string>> uuids;  // lower case, as BlueZ writes them
        std::optional<bool> isConnected;
        std::optional<bool> areServicesResolved;
        std::optional<bool> isPaired;
        bool isAdvertising = false;  // a new object of a scan, or an RSSI
        bool isNew = false;          // BlueZ added the object
    };
    struct Objects {
        std::vector<std::pair<std::string, bool>> adapters;  // object path, powered
        std::map<std::string, DeviceReport> devices;
        ReportedGatt gatt;
    };

    // timeout only names the wait in the line of timedOut.
    Connection(platform::Uuid service, std::optional<std::string> adapterName,
               std::chrono::duration<double> timeout);

    Steps start();
    // The reply to a call of setFilter, startDiscovery, stopDiscovery or connect; error:
    // "name: message", none for success.
    Steps replied(Call call, const std::optional<std::string>& error);
    // The reply to getObjects; a refused one is replied(getObjects, error).
    Steps objectsRead(const Objects& objects);
    Steps deviceReported(const std::string& path, const DeviceReport& report);
    Steps deviceRemoved(const std::string& path);
    Steps characteristicRemoved(const std::string& path);
    Steps bluezGone();
    Steps rescanDue();
    Steps timedOut();
    // A fault of our own, such as a message we could not read.
    Steps fail(const std::string& line);
    // The program is ending: what of ours BlueZ still runs is stopped, nothing more is
    // reported.
    Steps leave();

    // Reads, writes and subscriptions once ready. An agent that lets only paired companions
    // in answers an unpaired central with Insufficient Encryption; BlueZ then tries to pair
    // on its own, and when that fails the link drops. Either way the line says so.
    void attSent(bool isRead);
    // what: "ReadValue of the status characteristic"; empty when it succeeded.
    Steps attReplied(bool isRead, const std::string& what, const std::optional<std::string>& error);
    // BlueZ reports the value a read brought as a change of Value too; only a change outside
    // our reads is a notification.
    bool isNotification(const std::string& characteristicPath) const;
    // A Pair call in flight: the agent's side may refuse it by dropping the link, which is
    // then the pairing's failure.
    void setPairing(bool isPairing) { isPairing_ = isPairing; }

    // The line of fail when an unpaired central is refused.
    static constexpr const char* pairingRequiredLine =
        "the agent requires pairing; run 'quorla-remote pair' first";

    const platform::Uuid& service() const { return service_; }
    // As BlueZ writes it: lower case.
    const std::string& serviceText() const { return serviceText_; }
    const CharacteristicPaths& paths() const { return paths_; }
    // The UUIDs the agent advertised, where our scan found it as a new object; none where
    // BlueZ knew it already and lists the services it resolved then instead.
    const std::optional<std::vector<std::string>>& advertised() const { return advertised_; }
    // Why the last device tried was not a Quorla agent, although our filtered scan
    // reported it.
    const std::optional<std::string>& layoutMismatch() const { return layoutMismatch_; }
    const std::string& devicePath() const { return devicePath_; }
    const std::string& address() const;

  private:
    enum class Phase { starting, scanning, connecting, resolving, checking, ready, failed };
    struct Device {
        std::string adapter;
        std::string address;
        std::vector<std::string> uuids;
        bool isConnected = false;
        bool areServicesResolved = false;
        bool isPaired = false;
        bool isAdvertising = false;  // since our scan began
        bool isNew = false;          // added by BlueZ while we scanned
    };
    static void merge(Device& device, const DeviceReport& report);
    bool hasService(const Device& device) const;
    Steps chooseAdapter(const Objects& objects);
    Steps checkLayout(const Objects& objects);
    Steps startScan();
    Steps stopScan();
    Steps consider(const std::string& path);
    Steps connect(const std::string& path, bool isFromCache);
    Steps connectReplied(const std::optional<std::string>& error);
    Steps passOver(const std::string& why);
    Steps linkLost(const std::string& why);
    bool isPairingRequired() const;

    platform::Uuid service_;
    std::string serviceText_;  // lower case, as BlueZ writes UUIDs
    platform::linux_::AdapterChoice adapters_;
    std::chrono::duration<double> timeout_;
    Phase phase_ = Phase::starting;
    std::string adapter_;
    std::map<std::string, Device> devices_;
    std::string devicePath_;
    bool isFromCache_ = false;
    bool isCandidate_ = false;         // tried without our service listed
    bool isDiscovering_ = false;       // a discovery of ours is running
    bool isRestartDue_ = false;        // once the discovery has stopped
    bool isConnectRequested_ = false;  // and the device was not connected before
    std::set<std::string> triedDevices_;
    CharacteristicPaths paths_;
    std::optional<std::vector<std::string>> advertised_;
    std::optional<std::string> layoutMismatch_;
    int readsInFlight_ = 0;
    int attInFlight_ = 0;
    bool isPairing_ = false;
};

}  // namespace quorla::remote

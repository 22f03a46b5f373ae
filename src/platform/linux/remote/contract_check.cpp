#include "platform/linux/remote/contract_check.hpp"

#include <algorithm>
#include <cstdio>

#include "bluetooth/requests.hpp"
#include "bluetooth/status_byte.hpp"
#include "platform/linux/remote/status_line.hpp"

namespace quorla::remote {

namespace {

struct Switched {
    Role role;
    bool bluetooth::StatusFlags::*flag;
    const char* on;
    const char* off;
};
constexpr Switched switched[] = {
    {Role::mic, &bluetooth::StatusFlags::isMicActive, "on", "off"},
    {Role::camera, &bluetooth::StatusFlags::isCameraActive, "on", "off"},
    {Role::active, &bluetooth::StatusFlags::isActiveSelected, "to speaker", "to gallery"},
};

std::string seconds(std::chrono::duration<double> duration) {
    char text[32];
    std::snprintf(text, sizeof text, "%g s", duration.count());
    return text;
}

std::string milliseconds(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f ms", value);
    return text;
}

std::string hexByte(std::uint8_t byte) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", byte);
    return text;
}

bluetooth::StatusFlags flagsOf(std::uint8_t status) {
    return bluetooth::decodeStatus(status).value_or(bluetooth::StatusFlags{});
}

}  // namespace

ContractCheck::ContractCheck(BluezCentral& central, platform::linux_::EventLoop& loop,
                             CarryOut carryOut, std::chrono::duration<double> settle,
                             std::ostream& out, std::function<void(int)> done)
    : central_(central),
      loop_(loop),
      carryOut_(std::move(carryOut)),
      settle_(settle),
      out_(out),
      done_(std::move(done)) {}

void ContractCheck::passed(const std::string& name, const std::string& detail) {
    ++passed_;
    out_ << "ok       " << name << ": " << detail << std::endl;
}

void ContractCheck::failed(const std::string& name, const std::string& detail) {
    ++failed_;
    out_ << "failed   " << name << ": " << detail << std::endl;
}

void ContractCheck::skipped(const std::string& name, const std::string& reason) {
    out_ << "skipped  " << name << ": " << reason << std::endl;
}

void ContractCheck::summary() {
    if (std::exchange(isOver_, true))
        return;
    timer_.reset();
    out_ << passed_ << " passed, " << failed_ << " failed" << std::endl;
    done_(failed_ > 0 ? 1 : 0);
}

void ContractCheck::run(std::optional<bool> subscribed) {
    checkAdvertisement();
    checkLayout();
    central_.read(Role::status, [this, subscribed](const Bytes& value) {
        statusRead(value);
        if (isOver_)
            return;
        if (subscribed)
            return subscriptionHeard(*subscribed ? std::optional(value) : std::nullopt);
        isWaitingForSubscription_ = true;
        timer_ = loop_.scheduleTimer(settle_, [this] {
            isWaitingForSubscription_ = false;
            subscriptionHeard(std::nullopt);
        });
        central_.subscribe(Role::status, [] {});
    });
}

bool ContractCheck::stopped(const std::string& line) {
    if (isOver_)
        return false;
    if (const auto& mismatch = central_.connection().layoutMismatch()) {
        checkAdvertisement();
        failed("layout", *mismatch);
    } else if (line == Connection::pairingRequiredLine) {
        failed("access",
               "the agent requires pairing (it answers an unpaired central with "
               "0x0F, Insufficient Encryption); run 'quorla-remote pair' first, then "
               "check again");
    } else {
        failed("link", line);
    }
    summary();
    return true;
}

void ContractCheck::checkAdvertisement() {
    const auto service = central_.connection().service();
    const auto& advertised = central_.connection().advertised();
    if (!advertised)
        return skipped("advertisement",
                       "BlueZ knew the device already and lists the services it resolved then, "
                       "not what it advertises ('bluetoothctl remove' the device to check it)");
    if (*advertised == std::vector<std::string>{central_.connection().serviceText()})
        return passed("advertisement", "the service " + service.toString() + " alone");
    std::string listed;
    for (const auto& uuid : *advertised)
        listed += (listed.empty() ? "" : ", ") + uuid;
    failed("advertisement", "the UUIDs " + (listed.empty() ? "none" : listed) +
                                ", not the service " + service.toString() + " alone");
}

// The connection has already refused a device whose service or characteristics differ;
// BlueZ names characteristics by their handles, so the paths also show the order.
void ContractCheck::checkLayout() {
    const auto& paths = central_.connection().paths();
    if (std::is_sorted(paths.begin(), paths.end()))
        return passed("layout",
                      "one service, the five characteristics in order (status, "
                      "microphone, camera, hand, view), each read, "
                      "write-without-response and notify");
    failed("layout",
           "the characteristics are not in the order status, microphone, camera, "
           "hand, view");
}

void ContractCheck::statusRead(const Bytes& value) {
    if (!isValidStatus(value)) {
        failed("status", "a read gave " + statusLine(value));
        return summary();
    }
    found_ = value[0];
    passed("status", "a read gave one valid byte, " + statusLine(value));
}

void ContractCheck::notified(const Bytes& value) {
    if (!std::exchange(isWaitingForSubscription_, false))
        return;
    timer_.reset();
    subscriptionHeard(value);
}

void ContractCheck::subscriptionHeard(const std::optional<Bytes>& value) {
    if (value && value->size() == 1 && (*value)[0] == found_)
        passed("subscription", "heard the current value, " + hexByte(found_) + ", at once");
    else if (value)
        failed("subscription", "heard " + statusLine(*value) + ", not the value read");
    else
        failed("subscription", "no value within " + seconds(settle_) +
                                   " of subscribing (BlueZ keeps a bonded central's "
                                   "subscription between links without telling the agent)");
    checkRequests();
}

void ContractCheck::checkRequests() {
    if (!flagsOf(found_).isConnected) {
        const auto reason = "the client is in no meeting (status " + hexByte(found_) +
                            "), and it ignores requests outside one";
        for (const auto& characteristic : bluetooth::gattLayout)
            if (characteristic.role != Role::status)
                skipped(std::string(characteristic.name), reason);
        skipped("latency", reason);
        return summary();
    }
    switchAndBack(0);
}

// Each request switches its state and switches it back, each followed within --settle.
void ContractCheck::switchAndBack(std::size_t index) {
    if (index == std::size(switched))
        return checkHand();
    const auto& entry = switched[index];
    const bool was = flagsOf(found_).*(entry.flag);
    const auto words = [entry](bool isOn) { return std::string(isOn ? entry.on : entry.off); };
    carryOut_(std::make_shared<Request>(Command{Command::Kind::set, entry.role, !was}, settle_),
              [this, index, was, words](const Request::Outcome& there, auto) {
                  if (there.next != Request::Next::done) {
                      failed(std::string(roleName(switched[index].role)),
                             "switching " + words(!was) + ": " + there.line);
                      return switchAndBack(index + 1);
                  }
                  carryOut_(std::make_shared<Request>(
                                Command{Command::Kind::set, switched[index].role, was}, settle_),
                            [this, index, was, words](const Request::Outcome& back, auto) {
                                if (back.next == Request::Next::done)
                                    passed(std::string(roleName(switched[index].role)),
                                           "switched " + words(!was) + " and back " + words(was) +
                                               ", each followed within " + seconds(settle_));
                                else
                                    failed(std::string(roleName(switched[index].role)),
                                           "switching back " + words(was) + ": " + back.line);
                                switchAndBack(index + 1);
                            });
              });
}

void ContractCheck::checkHand() {
    central_.writeCommand(Role::hand, bluetooth::switchValue(true), [this] {
        central_.writeCommand(Role::hand, bluetooth::switchValue(true), [this] {
            passed("hand",
                   "written twice, raised and lowered again; no status bit shows the "
                   "hand, so nothing follows it");
            latencyRound(0);
        });
    });
}

void ContractCheck::latencyRound(int round) {
    if (round == latencyRounds) {
        auto sorted = latencies_;
        std::sort(sorted.begin(), sorted.end());
        const auto median = (sorted[latencyRounds / 2 - 1] + sorted[latencyRounds / 2]) / 2;
        const auto p95 = sorted[(latencyRounds * 95 + 99) / 100 - 1];
        passed("latency", "write to notification over " + std::to_string(latencyRounds) +
                              " round trips: median " + milliseconds(median) +
                              ", 95th percentile " + milliseconds(p95));
        return checkRestored();
    }
    // Even rounds switch the microphone, odd ones switch it back.
    const bool was = flagsOf(found_).isMicActive;
    const bool wanted = round % 2 == 0 ? !was : was;
    carryOut_(std::make_shared<Request>(Command{Command::Kind::set, Role::mic, wanted}, settle_),
              [this, round, was](const Request::Outcome& outcome, auto heardAfter) {
                  if (outcome.next == Request::Next::done && heardAfter) {
                      latencies_.push_back(heardAfter->count() * 1000);
                      return latencyRound(round + 1);
                  }
                  failed("latency", "round " + std::to_string(round + 1) + ": " +
                                        (outcome.next == Request::Next::done
                                             ? "no notification; a read after " + seconds(settle_) +
                                                   " showed it"
                                             : outcome.line));
                  // Back as it was found before the last check.
                  carryOut_(std::make_shared<Request>(Command{Command::Kind::set, Role::mic, was},
                                                      settle_),
                            [this](const Request::Outcome&, auto) { checkRestored(); });
              });
}

void ContractCheck::checkRestored() {
    central_.read(Role::status, [this](const Bytes& value) {
        if (value == Bytes{found_})
            passed("restored", "the status is " + hexByte(found_) + " as found");
        else
            failed("restored", "found " + hexByte(found_) + ", left " + statusLine(value));
        summary();
    });
}

}  // namespace quorla::remote

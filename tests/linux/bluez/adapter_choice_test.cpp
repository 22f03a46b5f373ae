#include "platform/linux/bluez/adapter_choice.hpp"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>

namespace quorla::platform::linux_ {
namespace {

using State = platform::ManagerState;

TEST(AdapterChoiceTest, TheNamedAdapterElseTheFirstInNaturalOrderAndItsState) {
    struct Case {
        bool isBluezRunning;
        std::map<std::string, bool> adapters;  // name -> powered
        std::optional<std::string> wanted;
        std::optional<std::string> chosen;
        State state;
    };
    const Case cases[] = {
        {false, {}, std::nullopt, std::nullopt, State::unknown},
        {true, {}, std::nullopt, std::nullopt, State::unsupported},
        {true, {{"hci0", true}}, std::nullopt, "hci0", State::poweredOn},
        {true, {{"hci1", true}, {"hci0", false}}, std::nullopt, "hci0", State::poweredOff},
        {true, {{"hci10", true}, {"hci2", true}}, std::nullopt, "hci2", State::poweredOn},
        {true, {{"hci2", true}, {"hci10", false}}, "hci10", "hci10", State::poweredOff},
        {true, {{"hci0", true}}, "hci1", std::nullopt, State::unsupported},
        {true, {{"hci0", true}}, "hci", std::nullopt, State::unsupported},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(std::tuple(c.wanted, c.adapters)));
        AdapterChoice adapters(c.wanted);
        if (c.isBluezRunning)
            adapters.bluezFound();
        for (const auto& [name, isPowered] : c.adapters)
            adapters.setPowered("/org/bluez/" + name, isPowered);
        const auto choice = adapters.choice();
        EXPECT_EQ(choice.adapter,
                  c.chosen ? std::optional("/org/bluez/" + *c.chosen) : std::nullopt);
        EXPECT_EQ(choice.state, c.state);
    }
}

// The core hears each change once; an adapter switch counts even in the same state.
TEST(AdapterChoiceTest, EachChangeOfAdapterOrStateIsTakenOnce) {
    AdapterChoice adapters(std::nullopt);
    std::vector<std::string> seen;
    const auto take = [&] {
        const auto change = adapters.takeChange();
        seen.push_back(!change ? "-"
                               : (change->adapter ? adapterName(*change->adapter) + " " : "") +
                                     std::to_string(static_cast<int>(change->state)));
    };
    take();
    take();
    adapters.bluezFound();
    adapters.setPowered("/org/bluez/hci1", true);
    take();
    adapters.setPowered("/org/bluez/hci0", true);
    take();
    adapters.setPowered("/org/bluez/hci2", false);
    take();
    adapters.remove("/org/bluez/hci0");
    take();
    adapters.bluezGone();
    take();
    EXPECT_EQ(seen, (std::vector<std::string>{"0", "-", "hci1 5", "hci0 5", "-", "hci1 5", "0"}));
}

}  // namespace
}  // namespace quorla::platform::linux_

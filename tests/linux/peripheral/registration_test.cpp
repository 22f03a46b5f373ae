#include "platform/linux/peripheral/registration.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace quorla::platform::linux_ {
namespace {

using Call = Registration::Call;

std::string path(const std::string& name) {
    return "/org/bluez/" + name;
}

std::string describe(const Registration::Step& step) {
    const auto adapter = step.adapter.substr(step.adapter.rfind('/') + 1);
    switch (step.call) {
        case Call::registerOn:
            return "register " + adapter;
        case Call::unregisterFrom:
            return "unregister " + adapter;
        case Call::retryAfter:
            return "retry in " + std::to_string(step.delay.count()) + " s";
        default:
            return "nothing";
    }
}

// Plays a story on a registration whose adapter is hci0 and tells the calls it asked for,
// one per event that can ask for one. Events: want, leave, retry, ok, refused[:Name],
// release, forget[:hciN] (everywhere when no adapter is named), on:hciN, off.
std::string play(const std::string& story) {
    Registration registration;
    registration.setAdapter(path("hci0"));
    std::istringstream events(story);
    std::vector<std::string> steps;
    for (std::string event; events >> event;) {
        const auto argument = event.substr(event.find(':') + 1);
        if (event == "want")
            steps.push_back(describe(registration.want()));
        else if (event == "leave")
            steps.push_back(describe(registration.leave()));
        else if (event == "retry")
            steps.push_back(describe(registration.retryDue()));
        else if (event == "ok" || event.starts_with("refused")) {
            const auto outcome = registration.replied(
                event == "ok"        ? std::nullopt
                : event == "refused" ? std::optional<std::string>("org.bluez.Error.Failed")
                                     : std::optional(argument));
            steps.push_back(describe(outcome.next) + (outcome.isReported ? " (logged)" : ""));
        } else if (event == "release")
            registration.released();
        else if (event == "forget")
            registration.forget(std::nullopt);
        else if (event.starts_with("forget:"))
            registration.forget(path(argument));
        else if (event.starts_with("on:"))
            registration.setAdapter(path(argument));
        else if (event == "off")
            registration.setAdapter(std::nullopt);
        else
            ADD_FAILURE() << "no event " << event;
    }
    std::string text;
    for (const auto& step : steps)
        text += (text.empty() ? "" : ", ") + step;
    return text;
}

TEST(RegistrationTest, EachReplyAndEventLeadsToTheNextCallAndNewRefusalsAreLogged) {
    struct Case {
        const char* name;
        const char* story;
        const char* calls;
    };
    const Case cases[] = {
        {"no powered adapter", "off want", "nothing"},
        {"replaced content", "want want ok ok ok",
         "register hci0, nothing, unregister hci0, register hci0, nothing"},
        {"moved to another adapter", "want ok on:hci1 want ok ok",
         "register hci0, nothing, unregister hci0, register hci1, nothing"},
        {"quitting while held", "want ok leave ok",
         "register hci0, nothing, unregister hci0, nothing"},
        {"quitting while registering", "want leave ok ok",
         "register hci0, nothing, unregister hci0, nothing"},
        {"quitting, then refused", "want leave refused",
         "register hci0, nothing, nothing (logged)"},
        {"quitting while idle", "leave", "nothing"},
        {"refused", "want refused retry ok",
         "register hci0, retry in 1 s (logged), register hci0, nothing"},
        {"refused, then asked anew", "want refused want retry",
         "register hci0, retry in 1 s (logged), register hci0, nothing"},
        {"replaced content refused", "want want refused",
         "register hci0, nothing, register hci0 (logged)"},
        {"refused, then powered off", "want refused off retry",
         "register hci0, retry in 1 s (logged), nothing"},
        {"refused, then quitting", "want refused leave retry",
         "register hci0, retry in 1 s (logged), nothing, nothing"},
        {"a retry after success", "want ok retry", "register hci0, nothing, nothing"},
        {"unregistering refused", "want ok want refused",
         "register hci0, nothing, unregister hci0, register hci0 (logged)"},
        {"already dropped by BlueZ", "want ok want refused:org.bluez.Error.DoesNotExist",
         "register hci0, nothing, unregister hci0, register hci0"},
        {"a stale one still held: cleared at once, once",
         "want refused:org.bluez.Error.AlreadyExists ok refused:org.bluez.Error.AlreadyExists",
         "register hci0, unregister hci0 (logged), register hci0, retry in 1 s"},
        {"the advertisement released", "want ok release want",
         "register hci0, nothing, register hci0"},
        {"bluetoothd restarted", "want ok forget want", "register hci0, nothing, register hci0"},
        {"its adapter unplugged", "want forget:hci0 on:hci1 want", "register hci0, register hci1"},
        {"another adapter unplugged", "want forget:hci1 want", "register hci0, nothing"},
        {"each kind of refusal logged once, the delay doubling up to a minute",
         "want refused:A retry refused:A retry refused:B retry refused retry refused retry refused "
         "retry refused retry refused",
         "register hci0, retry in 1 s (logged), register hci0, retry in 2 s, register hci0, "
         "retry in 4 s (logged), register hci0, retry in 8 s (logged), register hci0, retry in 16 "
         "s, register hci0, retry in 32 s, register hci0, retry in 60 s, register hci0, retry in "
         "60 s"},
        {"logged again after a success", "want refused:A retry ok want ok refused:A",
         "register hci0, retry in 1 s (logged), register hci0, nothing, unregister hci0, "
         "register hci0, retry in 1 s (logged)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(play(c.story), c.calls) << c.name << ": " << c.story;
}

}  // namespace
}  // namespace quorla::platform::linux_

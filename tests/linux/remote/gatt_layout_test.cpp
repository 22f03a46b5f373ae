#include "platform/linux/remote/gatt_layout.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "linux/remote/reported_agent.hpp"

namespace quorla::remote {
namespace {

// That the remote finds the agent's characteristics, in either mode, shows in the lab.
struct Deviation {
    std::string what;
    std::function<void(ReportedGatt&)> change;
};

TEST(GattLayoutTest, ADeviceThatDiffersIsRefusedWithOneLineNamingTheDifference) {
    const Deviation deviations[] = {
        {"no service B59E243A-CDC0-590E-813E-91A84F9E841C",
         [](auto& gatt) { gatt.services.pop_back(); }},
        {"2 of the service B59E243A-CDC0-590E-813E-91A84F9E841C, not one",
         [](auto& gatt) {
             gatt.services.push_back(
                 {"/org/bluez/hci1/dev_00_AA_01_00_00_00/service0020", gatt.services[1].uuid});
         }},
        {"no camera characteristic 416E2079-70BE-4BE1-8DF2-429652F50C67 in the service",
         [](auto& gatt) { gatt.characteristics.erase(gatt.characteristics.begin() + 2); }},
        {"no hand characteristic B6B279AB-E82F-4CA7-A083-1B3B6F08280B in the service",
         [](auto& gatt) { gatt.characteristics[3].servicePath = gatt.services[0].path; }},
        {"the microphone characteristic 9544CC4B-AE2B-4D23-9988-91F785B4EBE0 has the flags read, "
         "write, notify, not read, write-without-response, notify",
         [](auto& gatt) { gatt.characteristics[1].flags[1] = "write"; }},
        {"the status characteristic E826E5D9-D84F-4BC0-A8E7-EE71933B7C30 has the flags none, not "
         "read, write-without-response, notify",
         [](auto& gatt) { gatt.characteristics[0].flags.clear(); }},
        {"2 of the view characteristic 51E0B506-C88A-414E-9603-DABC63EBB6BA, not one",
         [](auto& gatt) { gatt.characteristics.push_back(gatt.characteristics[4]); }},
    };
    for (const auto& deviation : deviations) {
        SCOPED_TRACE(deviation.what);
        auto gatt = reportedAgent("/org/bluez/hci1/dev_00_AA_01_00_00_00");
        deviation.change(gatt);
        try {
            checkLayout(gatt, abcService);
            ADD_FAILURE() << "accepted";
        } catch (const LayoutMismatch& mismatch) {
            EXPECT_EQ(mismatch.what(), deviation.what);
        }
    }
}

}  // namespace
}  // namespace quorla::remote

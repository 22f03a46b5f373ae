#include "platform/linux/remote/gatt_layout.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace quorla::remote {
namespace {

const auto service = platform::Uuid::fromString("B59E243A-CDC0-590E-813E-91A84F9E841C").value();
const std::string device = "/org/bluez/hci1/dev_00_AA_01_00_00_00";

// What BlueZ reports for the agent of the record name "abc": its service among bluetoothd's
// own, characteristics in lower case as BlueZ writes them. That the remote finds the agent's
// characteristics, in either mode, shows in the lab.
ReportedGatt agent() {
    const std::vector<std::string> flags{"read", "write-without-response", "notify"};
    const auto characteristic = [&](const char* number, const char* uuid) {
        return ReportedCharacteristic{device + "/service000a/char" + number,
                                      device + "/service000a", uuid, flags};
    };
    return {{{device + "/service0001", "00001801-0000-1000-8000-00805f9b34fb"},
             {device + "/service000a", "b59e243a-cdc0-590e-813e-91a84f9e841c"}},
            {characteristic("000b", "e826e5d9-d84f-4bc0-a8e7-ee71933b7c30"),
             characteristic("000e", "9544cc4b-ae2b-4d23-9988-91f785b4ebe0"),
             characteristic("0011", "416e2079-70be-4be1-8df2-429652f50c67"),
             characteristic("0014", "b6b279ab-e82f-4ca7-a083-1b3b6f08280b"),
             characteristic("0017", "51e0b506-c88a-414e-9603-dabc63ebb6ba")}};
}

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
             gatt.services.push_back({device + "/service0020", gatt.services[1].uuid});
         }},
        {"no camera characteristic 416E2079-70BE-4BE1-8DF2-429652F50C67 in the service",
         [](auto& gatt) { gatt.characteristics.erase(gatt.characteristics.begin() + 2); }},
        {"no hand characteristic B6B279AB-E82F-4CA7-A083-1B3B6F08280B in the service",
         [](auto& gatt) { gatt.characteristics[3].servicePath = device + "/service0001"; }},
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
        auto gatt = agent();
        deviation.change(gatt);
        try {
            checkLayout(gatt, service);
            ADD_FAILURE() << "accepted";
        } catch (const LayoutMismatch& mismatch) {
            EXPECT_EQ(mismatch.what(), deviation.what);
        }
    }
}

}  // namespace
}  // namespace quorla::remote

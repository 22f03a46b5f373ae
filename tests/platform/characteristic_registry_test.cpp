#include "platform/apple/characteristic_registry.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace quorla::platform::apple {
namespace {

// A platform object: the platform may hand back a different object that it considers
// equal (isEqual:), as CoreBluetooth does with characteristics.
using PlatformObject = std::shared_ptr<std::string>;

struct SameName {
    bool operator()(const PlatformObject& made, const PlatformObject& reported) const {
        return *made == *reported;
    }
};

CharacteristicRef makeCharacteristic(std::uint8_t firstByte) {
    Characteristic characteristic;
    characteristic.type.bytes[0] = firstByte;
    return std::make_shared<const Characteristic>(characteristic);
}

PlatformObject object(std::string name) {
    return std::make_shared<std::string>(std::move(name));
}

TEST(CharacteristicRegistry, PairsTheCoresOwnCharacteristicsWithEqualObjectsUntilItLetsGo) {
    CharacteristicRegistry<PlatformObject, SameName> registry;
    auto oldStatus = makeCharacteristic(1);
    const auto mic = makeCharacteristic(2);
    const auto madeMic = object("mic");
    registry.add(oldStatus, object("old status"));
    registry.add(mic, madeMic);
    EXPECT_EQ(registry.characteristicFor(object("old status")), oldStatus);
    EXPECT_EQ(registry.characteristicFor(object("mic")), mic);
    EXPECT_EQ(registry.handleFor(mic), madeMic);
    EXPECT_EQ(registry.characteristicFor(object("someone else's")), nullptr);
    EXPECT_EQ(registry.handleFor(makeCharacteristic(2)), nullptr)
        << "an equal characteristic is not the one the core created";

    oldStatus.reset();  // the core rebuilt its service after the radio came back
    EXPECT_EQ(registry.characteristicFor(object("old status")), nullptr);
    EXPECT_EQ(registry.handleFor(nullptr), nullptr)
        << "a forgotten pair must not answer for the null characteristic";
    const auto newStatus = makeCharacteristic(1);
    const auto madeNew = object("new status");
    registry.add(newStatus, madeNew);
    EXPECT_EQ(registry.characteristicFor(object("new status")), newStatus);
    EXPECT_EQ(registry.handleFor(newStatus), madeNew);
}

}  // namespace
}  // namespace quorla::platform::apple

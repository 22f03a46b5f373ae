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

using Registry = CharacteristicRegistry<PlatformObject, SameName>;

CharacteristicRef makeCharacteristic(std::uint8_t firstByte) {
    Characteristic characteristic;
    characteristic.type.bytes[0] = firstByte;
    return std::make_shared<const Characteristic>(characteristic);
}

PlatformObject object(std::string name) {
    return std::make_shared<std::string>(std::move(name));
}

TEST(CharacteristicRegistry, HandsBackTheCoresOwnCharacteristicForAnEqualPlatformObject) {
    Registry registry;
    const auto status = makeCharacteristic(1);
    const auto mic = makeCharacteristic(2);
    const auto madeStatus = object("status");
    registry.add(status, madeStatus);
    registry.add(mic, object("mic"));

    EXPECT_EQ(registry.characteristicFor(object("status")), status);
    EXPECT_EQ(registry.characteristicFor(object("mic")), mic);
    EXPECT_EQ(registry.handleFor(status), madeStatus);
    EXPECT_EQ(registry.characteristicFor(object("someone else's")), nullptr);
    EXPECT_EQ(registry.handleFor(makeCharacteristic(1)), nullptr)
        << "an equal characteristic is not the one the core created";
    EXPECT_EQ(registry.handleFor(nullptr), nullptr);
}

TEST(CharacteristicRegistry, ForgetsCharacteristicsTheCoreHasLetGoOf) {
    Registry registry;
    auto oldStatus = makeCharacteristic(1);
    registry.add(oldStatus, object("old status"));
    oldStatus.reset();  // the core rebuilt its service after the radio came back
    EXPECT_EQ(registry.characteristicFor(object("old status")), nullptr);
    EXPECT_EQ(registry.handleFor(nullptr), nullptr)
        << "a forgotten pair must not answer for the null characteristic";

    const auto newStatus = makeCharacteristic(1);
    const auto madeNew = object("new status");
    registry.add(newStatus, madeNew);

    EXPECT_EQ(registry.characteristicFor(object("old status")), nullptr);
    EXPECT_EQ(registry.characteristicFor(object("new status")), newStatus);
    EXPECT_EQ(registry.handleFor(newStatus), madeNew);
}

}  // namespace
}  // namespace quorla::platform::apple

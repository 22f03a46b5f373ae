#include "platform/apple/characteristic_registry.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace quorla::platform::apple {
namespace {

// A platform object: the platform may hand back a different object that it considers
// equal (isEqual:), as CoreBluetooth does with characteristics.
using PlatformObject = std::shared_ptr<std::string>;

using SameName = decltype([](const PlatformObject& made, const PlatformObject& reported) {
    return *made == *reported;
});

// Equal in value to every other one made here: only identity tells them apart.
CharacteristicRef makeCharacteristic() {
    return std::make_shared<const Characteristic>();
}

PlatformObject object(std::string name) {
    return std::make_shared<std::string>(std::move(name));
}

TEST(CharacteristicRegistry, PairsTheCoresOwnCharacteristicsWithEqualObjectsUntilItLetsGo) {
    CharacteristicRegistry<PlatformObject, SameName> registry;
    auto oldStatus = makeCharacteristic();
    const auto mic = makeCharacteristic();
    const auto madeMic = object("mic");
    registry.add(oldStatus, object("old status"));
    registry.add(mic, madeMic);
    EXPECT_EQ(registry.characteristicFor(object("old status")), oldStatus);
    EXPECT_EQ(registry.characteristicFor(object("mic")), mic);
    EXPECT_EQ(registry.handleFor(mic), madeMic);
    EXPECT_EQ(registry.characteristicFor(object("someone else's")), nullptr);
    EXPECT_EQ(registry.handleFor(makeCharacteristic()), nullptr)
        << "an equal characteristic is not the one the core created";

    oldStatus.reset();  // the core rebuilt its service after the radio came back
    EXPECT_EQ(registry.characteristicFor(object("old status")), nullptr);
    EXPECT_EQ(registry.handleFor(nullptr), nullptr)
        << "a forgotten pair must not answer for the null characteristic";
    const auto newStatus = makeCharacteristic();
    const auto madeNew = object("new status");
    registry.add(newStatus, madeNew);
    EXPECT_EQ(registry.characteristicFor(object("new status")), newStatus);
    EXPECT_EQ(registry.handleFor(newStatus), madeNew);
}

}  // namespace
}  // namespace quorla::platform::apple

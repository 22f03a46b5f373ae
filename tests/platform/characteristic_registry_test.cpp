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

PlatformObject object(std::string name) {
    return std::make_shared<std::string>(std::move(name));
}

// The characteristics are equal in value: only identity tells them apart.
TEST(CharacteristicRegistry, PairsTheCoresOwnCharacteristicsWithEqualObjectsUntilItLetsGo) {
    CharacteristicRegistry<PlatformObject, SameName> registry;
    auto oldStatus = std::make_shared<const Characteristic>();
    const auto mic = std::make_shared<const Characteristic>();
    const auto madeMic = object("mic");
    registry.add(oldStatus, object("status"));
    registry.add(mic, madeMic);
    EXPECT_EQ(registry.characteristicFor(object("status")), oldStatus);
    EXPECT_EQ(registry.characteristicFor(object("mic")), mic);
    EXPECT_EQ(registry.handleFor(mic), madeMic);
    EXPECT_EQ(registry.characteristicFor(object("someone else's")), nullptr);
    EXPECT_EQ(registry.handleFor(std::make_shared<const Characteristic>()), nullptr);

    oldStatus.reset();  // the core rebuilt its service after the radio came back
    EXPECT_EQ(registry.characteristicFor(object("status")), nullptr);
    EXPECT_EQ(registry.handleFor(nullptr), nullptr) << "a forgotten pair answers for null";
    const auto newStatus = std::make_shared<const Characteristic>();
    registry.add(newStatus, object("status"));
    EXPECT_EQ(registry.characteristicFor(object("status")), newStatus);
}

}  // namespace
}  // namespace quorla::platform::apple

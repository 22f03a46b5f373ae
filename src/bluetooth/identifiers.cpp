#include "bluetooth/identifiers.hpp"

#include <algorithm>
#include <cstdint>
#include <span>
#include <stdexcept>

#include "platform/sha1.hpp"

namespace quorla::bluetooth {

namespace {

platform::Uuid parseConstant(std::string_view text) {
    auto uuid = platform::Uuid::fromString(text);
    if (!uuid)
        throw std::logic_error("malformed built-in UUID");
    return *uuid;
}

}  // namespace

const platform::Uuid& serviceNamespaceUUID() {
    static const auto uuid = parseConstant("1CDC9855-5713-4F64-B799-4AB82DC6D1C8");
    return uuid;
}

const platform::Uuid& statusCharacteristicUUID() {
    static const auto uuid = parseConstant("E826E5D9-D84F-4BC0-A8E7-EE71933B7C30");
    return uuid;
}

const platform::Uuid& micRequestCharacteristicUUID() {
    static const auto uuid = parseConstant("9544CC4B-AE2B-4D23-9988-91F785B4EBE0");
    return uuid;
}

const platform::Uuid& cameraRequestCharacteristicUUID() {
    static const auto uuid = parseConstant("416E2079-70BE-4BE1-8DF2-429652F50C67");
    return uuid;
}

const platform::Uuid& handRequestCharacteristicUUID() {
    static const auto uuid = parseConstant("B6B279AB-E82F-4CA7-A083-1B3B6F08280B");
    return uuid;
}

const platform::Uuid& activeRequestCharacteristicUUID() {
    static const auto uuid = parseConstant("51E0B506-C88A-414E-9603-DABC63EBB6BA");
    return uuid;
}

platform::Uuid nameBasedUUID(std::string_view name, const platform::Uuid& namespaceUuid) {
    const std::span nameBytes(reinterpret_cast<const std::uint8_t*>(name.data()), name.size());
    const auto digest = platform::sha1({namespaceUuid.bytes, nameBytes});

    platform::Uuid uuid;
    std::copy_n(digest.begin(), uuid.bytes.size(), uuid.bytes.begin());
    uuid.bytes[6] = static_cast<std::uint8_t>(0x50 | (uuid.bytes[6] & 0x0F));
    uuid.bytes[8] = static_cast<std::uint8_t>(0x80 | (uuid.bytes[8] & 0x3F));
    return uuid;
}

}  // namespace quorla::bluetooth

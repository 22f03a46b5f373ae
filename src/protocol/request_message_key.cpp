#include "protocol/request_message_key.hpp"

namespace quorla::protocol {

std::optional<RequestMessageKey> RequestMessageKey::fromRawValue(std::string_view text) {
    for (std::size_t i = 0; i < rawValues.size(); ++i) {
        if (rawValues[i] == text)
            return RequestMessageKey(static_cast<Case>(i));
    }
    return std::nullopt;
}

}  // namespace quorla::protocol

#include <CommonCrypto/CommonDigest.h>

#include <algorithm>
#include <limits>

#include "platform/sha1.hpp"

namespace quorla::platform {

// SHA-1 is deprecated for security use; here it only defines name-based UUIDs, whose
// algorithm is fixed to it.
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wdeprecated-declarations"

Sha1Digest sha1(std::initializer_list<std::span<const std::uint8_t>> pieces) {
    CC_SHA1_CTX context;
    CC_SHA1_Init(&context);
    for (auto piece : pieces) {
        // CommonCrypto takes 32-bit lengths.
        while (!piece.empty()) {
            const auto length =
                std::min<std::size_t>(piece.size(), std::numeric_limits<CC_LONG>::max());
            CC_SHA1_Update(&context, piece.data(), static_cast<CC_LONG>(length));
            piece = piece.subspan(length);
        }
    }
    Sha1Digest digest{};
    static_assert(digest.size() == CC_SHA1_DIGEST_LENGTH);
    CC_SHA1_Final(digest.data(), &context);
    return digest;
}

#pragma clang diagnostic pop

}  // namespace quorla::platform

// SHA-1's own functions rather than EVP: EVP fetches the algorithm through OpenSSL 3's
// provider machinery, which for one hash per radio power-on costs the agent about 2 MB of
// resident memory. Deprecated in OpenSSL 3, still part of its API.
#define OPENSSL_API_COMPAT 10101
#include <openssl/sha.h>

#include <stdexcept>

#include "platform/sha1.hpp"

namespace quorla::platform {

Sha1Digest sha1(std::initializer_list<std::span<const std::uint8_t>> pieces) {
    SHA_CTX context;
    bool hashed = SHA1_Init(&context) == 1;
    for (auto piece : pieces)
        hashed = hashed && SHA1_Update(&context, piece.data(), piece.size()) == 1;
    Sha1Digest digest{};
    hashed = hashed && SHA1_Final(digest.data(), &context) == 1;
    // Only an unusable libcrypto gets here.
    if (!hashed)
        throw std::runtime_error("SHA-1 unavailable");
    return digest;
}

}  // namespace quorla::platform

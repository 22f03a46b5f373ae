#include <openssl/evp.h>

#include <memory>
#include <stdexcept>

#include "platform/sha1.hpp"

namespace quorla::platform {

Sha1Digest sha1(std::initializer_list<std::span<const std::uint8_t>> pieces) {
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                          &EVP_MD_CTX_free);
    bool hashed = context && EVP_DigestInit_ex(context.get(), EVP_sha1(), nullptr) == 1;
    for (auto piece : pieces)
        hashed = hashed && EVP_DigestUpdate(context.get(), piece.data(), piece.size()) == 1;
    Sha1Digest digest{};
    unsigned int digestLength = 0;
    hashed = hashed && EVP_DigestFinal_ex(context.get(), digest.data(), &digestLength) == 1;
    // Only an unusable libcrypto gets here.
    if (!hashed || digestLength != digest.size())
        throw std::runtime_error("SHA-1 unavailable");
    return digest;
}

}  // namespace quorla::platform

// Declarations of the CommonCrypto SHA-1 calls, with the names and types of Apple's
// CommonDigest documentation, including their deprecation since macOS 10.15. Only for
// the syntax-only check on machines without Apple's SDK; never used for a real build.
#pragma once

#include <stdint.h>

extern "C" {
typedef uint32_t CC_LONG;

#define CC_SHA1_DIGEST_LENGTH 20

typedef struct CC_SHA1state_st {
    CC_LONG h0, h1, h2, h3, h4;
    CC_LONG Nl, Nh;
    CC_LONG data[16];
    int num;
} CC_SHA1_CTX;

__attribute__((deprecated)) int CC_SHA1_Init(CC_SHA1_CTX* c);
__attribute__((deprecated)) int CC_SHA1_Update(CC_SHA1_CTX* c, const void* data, CC_LONG len);
__attribute__((deprecated)) int CC_SHA1_Final(unsigned char* md, CC_SHA1_CTX* c);
}

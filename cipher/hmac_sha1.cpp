#include "cipher/hmac_sha1.h"

#include <cstring>

#include "cipher/wipe.h"

namespace cipher {

HmacSha1::HmacSha1(const std::uint8_t* key, std::size_t keySize) {
    std::uint8_t block[kSha1BlockSize] = {};
    if (keySize > kSha1BlockSize) {
        Sha1 keyHash;
        keyHash.update(key, keySize);
        keyHash.finish(block);
    } else if (keySize > 0) {
        std::memcpy(block, key, keySize);
    }
    std::uint8_t pad[kSha1BlockSize];
    for (std::size_t i = 0; i < kSha1BlockSize; ++i) {
        pad[i] = block[i] ^ 0x36;
    }
    inner_.update(pad, kSha1BlockSize);
    for (std::size_t i = 0; i < kSha1BlockSize; ++i) {
        pad[i] = block[i] ^ 0x5c;
    }
    outer_.update(pad, kSha1BlockSize);
    SecureWipe(block, sizeof block);
    SecureWipe(pad, sizeof pad);
}

void HmacSha1::finish(std::uint8_t mac[kSha1DigestSize]) {
    std::uint8_t innerDigest[kSha1DigestSize];
    inner_.finish(innerDigest);
    outer_.update(innerDigest, kSha1DigestSize);
    outer_.finish(mac);
    SecureWipe(innerDigest, sizeof innerDigest);
}

}  // namespace cipher

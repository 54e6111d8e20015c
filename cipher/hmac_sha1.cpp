#include "cipher/hmac_sha1.h"

#include <cstring>

#include "cipher/wipe.h"

namespace cipher {

HmacSha1::HmacSha1(const std::uint8_t* key, std::size_t key_size) {
    std::uint8_t block[kSha1BlockSize] = {};
    if (key_size > kSha1BlockSize) {
        Sha1 key_hash;
        key_hash.Update(key, key_size);
        key_hash.Final(block);
    } else if (key_size > 0) {
        std::memcpy(block, key, key_size);
    }
    std::uint8_t pad[kSha1BlockSize];
    for (std::size_t i = 0; i < kSha1BlockSize; ++i) {
        pad[i] = block[i] ^ 0x36;
    }
    inner_.Update(pad, kSha1BlockSize);
    for (std::size_t i = 0; i < kSha1BlockSize; ++i) {
        pad[i] = block[i] ^ 0x5c;
    }
    outer_.Update(pad, kSha1BlockSize);
    SecureWipe(block, sizeof block);
    SecureWipe(pad, sizeof pad);
}

void HmacSha1::Final(std::uint8_t mac[kSha1DigestSize]) {
    std::uint8_t inner_digest[kSha1DigestSize];
    inner_.Final(inner_digest);
    outer_.Update(inner_digest, kSha1DigestSize);
    outer_.Final(mac);
    SecureWipe(inner_digest, sizeof inner_digest);
}

}  // namespace cipher

#pragma once

#include <cstddef>
#include <cstdint>

#include "cipher/sha1.h"

namespace cipher {

// HMAC-SHA1. The keyed inner and outer hash states are computed once, so a
// copy of a freshly keyed object is a cheap way to start another message
// under the same key (PBKDF2 does that a thousand times per block).
class HmacSha1 {
public:
    HmacSha1(const std::uint8_t* key, std::size_t keySize);
    HmacSha1(const HmacSha1&) = default;
    HmacSha1& operator=(const HmacSha1&) = default;

    void update(const std::uint8_t* data, std::size_t size) { inner_.update(data, size); }
    // Writes the 20-byte code; the object is used up afterwards.
    void finish(std::uint8_t mac[kSha1DigestSize]);

private:
    Sha1 inner_;
    Sha1 outer_;
};

}  // namespace cipher

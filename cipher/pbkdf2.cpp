#include "cipher/pbkdf2.h"

#include <algorithm>

#include "cipher/hmac_sha1.h"
#include "cipher/wipe.h"

namespace cipher {

void Pbkdf2HmacSha1(const std::uint8_t* password, std::size_t passwordSize,
                    const std::uint8_t* salt, std::size_t saltSize, std::uint32_t iterations,
                    std::uint8_t* output, std::size_t outputSize) {
    const HmacSha1 keyed(password, passwordSize);
    std::uint8_t u[kSha1DigestSize];
    std::uint8_t t[kSha1DigestSize];
    for (std::uint32_t block = 1; outputSize > 0; ++block) {
        const std::uint8_t index[4] = {
            static_cast<std::uint8_t>(block >> 24), static_cast<std::uint8_t>(block >> 16),
            static_cast<std::uint8_t>(block >> 8), static_cast<std::uint8_t>(block)};
        HmacSha1 first = keyed;
        first.update(salt, saltSize);
        first.update(index, sizeof index);
        first.finish(u);
        std::copy(u, u + kSha1DigestSize, t);
        for (std::uint32_t i = 1; i < iterations; ++i) {
            HmacSha1 next = keyed;
            next.update(u, kSha1DigestSize);
            next.finish(u);
            for (std::size_t j = 0; j < kSha1DigestSize; ++j) {
                t[j] ^= u[j];
            }
        }
        const std::size_t take = std::min(outputSize, kSha1DigestSize);
        std::copy(t, t + take, output);
        output += take;
        outputSize -= take;
    }
    SecureWipe(u, sizeof u);
    SecureWipe(t, sizeof t);
}

}  // namespace cipher

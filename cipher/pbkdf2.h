#pragma once

#include <cstddef>
#include <cstdint>

namespace cipher {

// PBKDF2 with HMAC-SHA1 as the pseudo-random function: the password is the
// HMAC key, blocks are numbered from 1 as 4-byte big-endian integers and the
// output is cut to `outputSize` bytes.
void Pbkdf2HmacSha1(const std::uint8_t* password, std::size_t passwordSize,
                    const std::uint8_t* salt, std::size_t saltSize, std::uint32_t iterations,
                    std::uint8_t* output, std::size_t outputSize);

}  // namespace cipher

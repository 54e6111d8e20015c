#pragma once

#include <cstddef>
#include <cstdint>

namespace cipher {

// PBKDF2 with HMAC-SHA1 as the pseudo-random function: the password is the
// HMAC key, blocks are numbered from 1 as 4-byte big-endian integers and the
// output is cut to `output_size` bytes.
void Pbkdf2HmacSha1(const std::uint8_t* password, std::size_t password_size,
                    const std::uint8_t* salt, std::size_t salt_size, std::uint32_t iterations,
                    std::uint8_t* output, std::size_t output_size);

}  // namespace cipher

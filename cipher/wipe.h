#pragma once

#include <cstddef>
#include <cstdint>

namespace cipher {

// Overwrites secret bytes with zeros in a way the optimiser may not drop,
// even when the memory is about to be freed.
void SecureWipe(void* data, std::size_t size);

// Compares two byte runs in time that depends only on their length, so that
// an attacker who can time a check learns nothing about how many leading
// bytes of a forged authentication code were right.
bool ConstantTimeEqual(const std::uint8_t* a, const std::uint8_t* b, std::size_t size);

}  // namespace cipher

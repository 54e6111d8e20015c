#include "cipher/wipe.h"

namespace cipher {

void SecureWipe(void* data, std::size_t size) {
    volatile std::uint8_t* bytes = static_cast<volatile std::uint8_t*>(data);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = 0;
    }
}

bool ConstantTimeEqual(const std::uint8_t* a, const std::uint8_t* b, std::size_t size) {
    volatile std::uint8_t difference = 0;
    for (std::size_t i = 0; i < size; ++i) {
        difference = difference | static_cast<std::uint8_t>(a[i] ^ b[i]);
    }
    return difference == 0;
}

}  // namespace cipher

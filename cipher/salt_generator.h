#pragma once

#include <cstddef>
#include <cstdint>

namespace cipher {

// One call of an entropy source: writes up to 8 bytes and returns how many.
using EntropySource = std::size_t (*)(std::uint8_t out[8]);

// The default source: the monotonic clock in nanoseconds as a 64-bit
// little-endian integer. Salts must differ between files, not be secret, so
// the clock's ever-changing low bits, stirred by the pools, are enough.
std::size_t MonotonicClockEntropy(std::uint8_t out[8]);

// The salt generator of the settings file cipher: a 260-byte random pool
// refilled from the entropy source, stirred with SHA-1 compressions into a
// 260-byte output pool from which the salt bytes are taken. The pools are
// wiped when the generator dies.
class TSaltGenerator {
public:
    static constexpr std::size_t kPoolSize = 260;

    // Starts the generator: zeroes the state, refreshes, stirs the random
    // pool 20 more times and refreshes again.
    explicit TSaltGenerator(EntropySource source = MonotonicClockEntropy);
    ~TSaltGenerator();
    TSaltGenerator(const TSaltGenerator&) = delete;
    TSaltGenerator& operator=(const TSaltGenerator&) = delete;

    // Copies `size` bytes out of the output pool, refreshing it whenever it
    // runs out.
    void Take(std::uint8_t* out, std::size_t size);

private:
    void Refresh();

    EntropySource source_;
    std::uint8_t random_[kPoolSize] = {};
    std::uint8_t output_[kPoolSize] = {};
    std::size_t position_ = 0;
};

}  // namespace cipher

#pragma once

#include <sys/random.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>

namespace cipher {

// One call of an entropy source: writes up to 8 bytes and returns how many.
using EntropySource = std::size_t (*)(std::uint8_t out[8]);

// One read of the operating system's random source, shaped like getrandom:
// returns the number of bytes written, or -1 with errno set.
using RandomCall = ssize_t (*)(void* buffer, std::size_t size, unsigned int flags);

// Fills `size` bytes from the operating system's random source, calling again
// after an interrupting signal and after a short read. Throws
// std::runtime_error when the source fails or stops delivering: two files
// sharing a salt share a key stream, so there is no predictable fallback.
void ReadSystemRandom(std::uint8_t* out, std::size_t size, RandomCall call = ::getrandom);

// The default source: 8 bytes from ReadSystemRandom. Throws as it does.
std::size_t SystemRandomEntropy(std::uint8_t out[8]);

// The salt generator of the settings file cipher: a 260-byte random pool
// refilled from the entropy source, stirred with SHA-1 compressions into a
// 260-byte output pool from which the salt bytes are taken. The pools are
// wiped when the generator dies.
class TSaltGenerator {
public:
    static constexpr std::size_t kPoolSize = 260;

    // Starts the generator: zeroes the state, refreshes, stirs the random
    // pool 20 more times and refreshes again.
    explicit TSaltGenerator(EntropySource source = SystemRandomEntropy);
    ~TSaltGenerator();
    TSaltGenerator(const TSaltGenerator&) = delete;
    TSaltGenerator& operator=(const TSaltGenerator&) = delete;

    // Copies `size` bytes out of the output pool, refreshing it whenever it
    // runs out.
    void take(std::uint8_t* out, std::size_t size);

private:
    void refresh();

    EntropySource source_;
    std::uint8_t random_[kPoolSize] = {};
    std::uint8_t output_[kPoolSize] = {};
    std::size_t position_ = 0;
};

}  // namespace cipher

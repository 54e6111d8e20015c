#include "cipher/salt_generator.h"

#include <time.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "cipher/sha1.h"
#include "cipher/wipe.h"

namespace cipher {

namespace {

constexpr std::size_t kStateSize = 20;
constexpr std::size_t kMixStep = 20;
// Extra stirs of the random pool between the two refreshes at start.
constexpr int kStartMixes = 20;

// Stirs a pool in place: each 20-byte slice becomes the SHA-1 compression of
// the slice before it (as the state, words little-endian) with the 64 pool
// bytes from the slice on (as the message block, wrapping at the pool's end).
void Mix(std::uint8_t pool[TSaltGenerator::kPoolSize]) {
    constexpr std::size_t n = TSaltGenerator::kPoolSize;
    std::uint8_t block[kSha1BlockSize];
    std::uint32_t state[5];
    for (std::size_t offset = 0; offset + kStateSize <= n; offset += kMixStep) {
        const std::size_t from = (offset == 0) ? n - kStateSize : offset - kStateSize;
        for (int i = 0; i < 5; ++i) {
            const std::uint8_t* p = pool + from + 4 * i;
            state[i] = std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) |
                       (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
        }
        for (std::size_t i = 0; i < kSha1BlockSize; ++i) {
            block[i] = pool[(offset + i) % n];
        }
        Sha1Compress(state, block, 1);
        for (int i = 0; i < 5; ++i) {
            std::uint8_t* p = pool + offset + 4 * i;
            p[0] = static_cast<std::uint8_t>(state[i]);
            p[1] = static_cast<std::uint8_t>(state[i] >> 8);
            p[2] = static_cast<std::uint8_t>(state[i] >> 16);
            p[3] = static_cast<std::uint8_t>(state[i] >> 24);
        }
    }
    SecureWipe(block, sizeof block);
    SecureWipe(state, sizeof state);
}

}  // namespace

std::size_t MonotonicClockEntropy(std::uint8_t out[8]) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const std::uint64_t nanoseconds = static_cast<std::uint64_t>(now.tv_sec) * 1000000000u +
                                      static_cast<std::uint64_t>(now.tv_nsec);
    for (int i = 0; i < 8; ++i) {
        out[i] = static_cast<std::uint8_t>(nanoseconds >> (8 * i));
    }
    return 8;
}

TSaltGenerator::TSaltGenerator(EntropySource source) : source_(source) {
    Refresh();
    for (int i = 0; i < kStartMixes; ++i) {
        Mix(random_);
    }
    Refresh();
    position_ = 0;
}

TSaltGenerator::~TSaltGenerator() {
    SecureWipe(random_, sizeof random_);
    SecureWipe(output_, sizeof output_);
    position_ = 0;
}

void TSaltGenerator::Refresh() {
    std::memcpy(output_, random_, kPoolSize);
    std::size_t filled = 0;
    while (filled < kPoolSize) {
        std::uint8_t bytes[8];
        const std::size_t got = std::min<std::size_t>(source_(bytes), sizeof bytes);
        if (got == 0) {
            // A source that stops delivering would otherwise spin here forever.
            throw std::runtime_error("salt generator: the entropy source delivered no bytes");
        }
        const std::size_t take = std::min(got, kPoolSize - filled);
        std::memcpy(random_ + filled, bytes, take);
        filled += take;
        SecureWipe(bytes, sizeof bytes);
    }
    for (std::size_t i = 0; i < kPoolSize; ++i) {
        random_[i] ^= static_cast<std::uint8_t>(~output_[i]);
    }
    Mix(random_);
    Mix(output_);
}

void TSaltGenerator::Take(std::uint8_t* out, std::size_t size) {
    while (size > 0) {
        if (position_ == kPoolSize) {
            Refresh();
            position_ = 0;
        }
        const std::size_t take = std::min(size, kPoolSize - position_);
        std::memcpy(out, output_ + position_, take);
        out += take;
        size -= take;
        position_ += take;
    }
}

}  // namespace cipher

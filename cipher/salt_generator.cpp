#include "cipher/salt_generator.h"

#include <errno.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

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

void ReadSystemRandom(std::uint8_t* out, std::size_t size, RandomCall call) {
    while (size > 0) {
        const ssize_t got = call(out, size, 0);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            throw std::runtime_error(
                std::string("salt generator: cannot read the system's random source: ") +
                std::strerror(errno));
        }
        if (got == 0) {
            // Asked for at least one byte, the kernel never answers none; a
            // source that does would otherwise be called forever.
            throw std::runtime_error(
                "salt generator: the system's random source delivered nothing");
        }
        const auto taken = std::min(static_cast<std::size_t>(got), size);
        out += taken;
        size -= taken;
    }
}

std::size_t SystemRandomEntropy(std::uint8_t out[8]) {
    ReadSystemRandom(out, 8);
    return 8;
}

TSaltGenerator::TSaltGenerator(EntropySource source) : source_(source) {
    refresh();
    for (int i = 0; i < kStartMixes; ++i) {
        Mix(random_);
    }
    refresh();
    position_ = 0;
}

TSaltGenerator::~TSaltGenerator() {
    SecureWipe(random_, sizeof random_);
    SecureWipe(output_, sizeof output_);
    position_ = 0;
}

void TSaltGenerator::refresh() {
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

void TSaltGenerator::take(std::uint8_t* out, std::size_t size) {
    while (size > 0) {
        if (position_ == kPoolSize) {
            refresh();
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

#include "cipher/sha1.h"

#include <algorithm>
#include <cstring>

#include "cipher/backend.h"
#include "cipher/wipe.h"

namespace cipher {

namespace {

constexpr std::uint32_t Rotl(std::uint32_t x, int n) {
    return (x << n) | (x >> (32 - n));
}

}  // namespace

namespace detail {

void Sha1CompressPortable(std::uint32_t state[5], const std::uint8_t* data, std::size_t blocks) {
    // The message schedule is kept as a ring of 16 words and extended inside
    // the rounds. (A separate 80-word expansion loop gets vectorised with
    // overlapping loads that stall on store forwarding, at half the speed.)
    std::uint32_t w[16];
    for (; blocks > 0; --blocks, data += kSha1BlockSize) {
        for (int i = 0; i < 16; ++i) {
            w[i] = (std::uint32_t{data[4 * i]} << 24) | (std::uint32_t{data[4 * i + 1]} << 16) |
                   (std::uint32_t{data[4 * i + 2]} << 8) | std::uint32_t{data[4 * i + 3]};
        }
        std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
        auto word = [&](int t) {
            if (t >= 16) {
                w[t & 15] =
                    Rotl(w[(t + 13) & 15] ^ w[(t + 8) & 15] ^ w[(t + 2) & 15] ^ w[t & 15], 1);
            }
            return w[t & 15];
        };
        auto round = [&](std::uint32_t f, std::uint32_t k, std::uint32_t x) {
            const std::uint32_t temp = Rotl(a, 5) + f + e + k + x;
            e = d;
            d = c;
            c = Rotl(b, 30);
            b = a;
            a = temp;
        };
        // Four loops with a fixed round function each, fully unrolled, so no
        // round branches on its number.
#pragma GCC unroll 20
        for (int t = 0; t < 20; ++t) {
            round(d ^ (b & (c ^ d)), 0x5a827999, word(t));
        }
#pragma GCC unroll 20
        for (int t = 20; t < 40; ++t) {
            round(b ^ c ^ d, 0x6ed9eba1, word(t));
        }
#pragma GCC unroll 20
        for (int t = 40; t < 60; ++t) {
            round((b & c) | (d & (b | c)), 0x8f1bbcdc, word(t));
        }
#pragma GCC unroll 20
        for (int t = 60; t < 80; ++t) {
            round(b ^ c ^ d, 0xca62c1d6, word(t));
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
    }
    SecureWipe(w, sizeof w);
}

}  // namespace detail

void Sha1Compress(std::uint32_t state[5], const std::uint8_t* data, std::size_t blocks) {
#ifdef ZORVANE_CIPHER_X86
    if (detail::UseShaNi()) {
        detail::Sha1CompressNi(state, data, blocks);
        return;
    }
#endif
    detail::Sha1CompressPortable(state, data, blocks);
}

Sha1::~Sha1() {
    SecureWipe(state_, sizeof state_);
    SecureWipe(buffer_, sizeof buffer_);
}

void Sha1::reset() {
    state_[0] = 0x67452301;
    state_[1] = 0xefcdab89;
    state_[2] = 0x98badcfe;
    state_[3] = 0x10325476;
    state_[4] = 0xc3d2e1f0;
    length_ = 0;
    buffered_ = 0;
}

void Sha1::update(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return;
    }
    length_ += size;
    if (buffered_ > 0) {
        const std::size_t take = std::min(size, kSha1BlockSize - buffered_);
        std::memcpy(buffer_ + buffered_, data, take);
        buffered_ += take;
        data += take;
        size -= take;
        if (buffered_ < kSha1BlockSize) {
            return;
        }
        Sha1Compress(state_, buffer_, 1);
        buffered_ = 0;
    }
    const std::size_t blocks = size / kSha1BlockSize;
    if (blocks > 0) {
        Sha1Compress(state_, data, blocks);
        data += blocks * kSha1BlockSize;
        size -= blocks * kSha1BlockSize;
    }
    if (size > 0) {
        std::memcpy(buffer_, data, size);
        buffered_ = size;
    }
}

void Sha1::finish(std::uint8_t digest[kSha1DigestSize]) {
    const std::uint64_t bits = length_ * 8;
    const std::uint8_t pad = 0x80;
    update(&pad, 1);
    const std::uint8_t zero[kSha1BlockSize] = {};
    const std::size_t fill = (buffered_ <= 56) ? 56 - buffered_ : 64 + 56 - buffered_;
    update(zero, fill);
    std::uint8_t lengthBytes[8];
    for (int i = 0; i < 8; ++i) {
        lengthBytes[i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
    }
    update(lengthBytes, 8);
    for (int i = 0; i < 5; ++i) {
        digest[4 * i] = static_cast<std::uint8_t>(state_[i] >> 24);
        digest[4 * i + 1] = static_cast<std::uint8_t>(state_[i] >> 16);
        digest[4 * i + 2] = static_cast<std::uint8_t>(state_[i] >> 8);
        digest[4 * i + 3] = static_cast<std::uint8_t>(state_[i]);
    }
}

}  // namespace cipher

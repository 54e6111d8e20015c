// Compiled with -maes -msse4.1; only reached when the processor reports both.
#include <immintrin.h>

#include "cipher/aes.h"

namespace cipher::detail {

namespace {

// How many counter blocks are encrypted side by side. AESENC has a latency of
// several cycles but a throughput of one or two per cycle, so eight
// independent blocks keep the unit busy.
constexpr std::size_t kBlocksInFlight = 8;

__m128i LoadRoundKey(const AesKey& key, int round) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(key.roundKeyBytes() + 16 * round));
}

__m128i EncryptOne(const __m128i* rk, int rounds, __m128i block) {
    block = _mm_xor_si128(block, rk[0]);
    for (int r = 1; r < rounds; ++r) {
        block = _mm_aesenc_si128(block, rk[r]);
    }
    return _mm_aesenclast_si128(block, rk[rounds]);
}

}  // namespace

void AesEncryptBlockNi(const AesKey& key, const std::uint8_t in[16], std::uint8_t out[16]) {
    __m128i rk[kAesMaxRounds + 1] = {};
    for (int r = 0; r <= key.rounds(); ++r) {
        rk[r] = LoadRoundKey(key, r);
    }
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), EncryptOne(rk, key.rounds(), block));
}

std::uint64_t AesCtrXorBlocksNi(const AesKey& key, std::uint64_t counter, std::uint8_t* data,
                                std::size_t blocks) {
    const int rounds = key.rounds();
    __m128i rk[kAesMaxRounds + 1] = {};
    for (int r = 0; r <= rounds; ++r) {
        rk[r] = LoadRoundKey(key, r);
    }
    // The counter lives in the low 64-bit lane, so a 64-bit lane addition
    // gives exactly the file format's carry that stops after byte 7.
    const __m128i one = _mm_set_epi64x(0, 1);
    __m128i next = _mm_add_epi64(_mm_set_epi64x(0, static_cast<long long>(counter)), one);

    while (blocks >= kBlocksInFlight) {
        __m128i b[kBlocksInFlight];
#pragma GCC unroll 8
        for (std::size_t i = 0; i < kBlocksInFlight; ++i) {
            b[i] = _mm_xor_si128(next, rk[0]);
            next = _mm_add_epi64(next, one);
        }
        for (int r = 1; r < rounds; ++r) {
#pragma GCC unroll 8
            for (std::size_t i = 0; i < kBlocksInFlight; ++i) {
                b[i] = _mm_aesenc_si128(b[i], rk[r]);
            }
        }
#pragma GCC unroll 8
        for (std::size_t i = 0; i < kBlocksInFlight; ++i) {
            __m128i* p = reinterpret_cast<__m128i*>(data + 16 * i);
            const __m128i stream = _mm_aesenclast_si128(b[i], rk[rounds]);
            _mm_storeu_si128(p, _mm_xor_si128(_mm_loadu_si128(p), stream));
        }
        data += 16 * kBlocksInFlight;
        blocks -= kBlocksInFlight;
        counter += kBlocksInFlight;
    }
    for (; blocks > 0; --blocks) {
        __m128i* p = reinterpret_cast<__m128i*>(data);
        const __m128i stream = EncryptOne(rk, rounds, next);
        _mm_storeu_si128(p, _mm_xor_si128(_mm_loadu_si128(p), stream));
        next = _mm_add_epi64(next, one);
        data += 16;
        ++counter;
    }
    return counter;
}

}  // namespace cipher::detail

// Compiled with -msha -mssse3 -msse4.1; only reached when the processor
// reports the SHA extensions.
#include <immintrin.h>

#include <utility>

#include "cipher/sha1.h"

namespace cipher::detail {

namespace {

struct Lanes {
    __m128i abcd;
    __m128i e0;
    __m128i e1;
    __m128i msg[4];
};

// One group of four rounds, number g of 20. The message schedule runs three
// groups ahead in the four message registers: SHA1MSG1 and the XOR prepare
// a word group, SHA1MSG2 completes it just before it is consumed. E0 and E1
// alternate between the group's E input and the saved A for the next group.
template <int g>
inline __attribute__((always_inline)) void Group(Lanes& s) {
    __m128i& current = (g % 2 == 0) ? s.e0 : s.e1;
    __m128i& following = (g % 2 == 0) ? s.e1 : s.e0;
    if constexpr (g == 0) {
        current = _mm_add_epi32(current, s.msg[0]);
    } else {
        current = _mm_sha1nexte_epu32(current, s.msg[g % 4]);
    }
    following = s.abcd;
    if constexpr (g >= 3 && g <= 18) {
        s.msg[(g + 1) % 4] = _mm_sha1msg2_epu32(s.msg[(g + 1) % 4], s.msg[g % 4]);
    }
    s.abcd = _mm_sha1rnds4_epu32(s.abcd, current, g / 5);
    if constexpr (g >= 1 && g <= 16) {
        s.msg[(g - 1) % 4] = _mm_sha1msg1_epu32(s.msg[(g - 1) % 4], s.msg[g % 4]);
    }
    if constexpr (g >= 2 && g <= 17) {
        s.msg[(g - 2) % 4] = _mm_xor_si128(s.msg[(g - 2) % 4], s.msg[g % 4]);
    }
}

template <int... g>
inline __attribute__((always_inline)) void AllGroups(Lanes& s, std::integer_sequence<int, g...>) {
    (Group<g>(s), ...);
}

}  // namespace

void Sha1CompressNi(std::uint32_t state[5], const std::uint8_t* data, std::size_t blocks) {
    // Message words are big-endian; this shuffle swaps the bytes of each word
    // and puts word 0 in the top lane, where the round instructions want it.
    const __m128i byteSwap = _mm_set_epi64x(0x0001020304050607LL, 0x08090a0b0c0d0e0fLL);
    Lanes s;
    s.abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0x1b);
    s.e0 = _mm_set_epi32(static_cast<int>(state[4]), 0, 0, 0);
    for (; blocks > 0; --blocks, data += kSha1BlockSize) {
        const __m128i abcdSaved = s.abcd;
        const __m128i eSaved = s.e0;
        for (int i = 0; i < 4; ++i) {
            s.msg[i] = _mm_shuffle_epi8(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * i)), byteSwap);
        }
        AllGroups(s, std::make_integer_sequence<int, 20>{});
        // Group 19 left the last A in e0; adding the saved E rotates it in.
        s.e0 = _mm_sha1nexte_epu32(s.e0, eSaved);
        s.abcd = _mm_add_epi32(s.abcd, abcdSaved);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_shuffle_epi32(s.abcd, 0x1b));
    state[4] = static_cast<std::uint32_t>(_mm_extract_epi32(s.e0, 3));
}

}  // namespace cipher::detail

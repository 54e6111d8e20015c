#include "cipher/aes.h"

#include <array>
#include <cstring>
#include <stdexcept>

#include "cipher/backend.h"
#include "cipher/wipe.h"

namespace cipher {

namespace {

constexpr std::uint8_t XTime(std::uint8_t x) {
    return static_cast<std::uint8_t>((x << 1) ^ ((x & 0x80) ? 0x1b : 0x00));
}

// The S-box from its definition: the multiplicative inverse in GF(2^8)
// followed by the affine map, so no table has to be typed in by hand. The
// inverses come from one walk over the powers of the generator 3: if
// x = 3^i then 1/x = 3^(255-i). A search for each inverse by trial products
// costs millions of constant-evaluation steps, more than clang allows.
constexpr std::array<std::uint8_t, 256> MakeSbox() {
    std::array<std::uint8_t, 255> power{};
    std::array<int, 256> log{};
    std::uint8_t x = 1;
    for (int i = 0; i < 255; ++i) {
        power[i] = x;
        log[x] = i;
        x = static_cast<std::uint8_t>(x ^ XTime(x));
    }
    std::array<std::uint8_t, 256> sbox{};
    for (int v = 0; v < 256; ++v) {
        const std::uint8_t s = v == 0 ? 0 : power[(255 - log[v]) % 255];
        std::uint8_t result = 0x63;
        for (int shift = 0; shift < 5; ++shift) {
            result ^= static_cast<std::uint8_t>((s << shift) | (s >> (8 - shift)));
        }
        sbox[v] = result;
    }
    return sbox;
}

constexpr std::array<std::uint8_t, 256> kSbox = MakeSbox();
// Spot checks against the published table, so a slip in the walk above fails
// the build; the known-answer tests check the whole cipher.
static_assert(kSbox[0x00] == 0x63 && kSbox[0x01] == 0x7c && kSbox[0x53] == 0xed &&
              kSbox[0xff] == 0x16);

constexpr std::uint32_t RotateRight(std::uint32_t x, int n) {
    return (x >> n) | (x << (32 - n));
}

// Te[0][x] is the MixColumns column (2s, s, s, 3s) of s = S(x) as a big-endian
// word; the other three tables are its byte rotations.
constexpr std::array<std::array<std::uint32_t, 256>, 4> MakeTables() {
    std::array<std::array<std::uint32_t, 256>, 4> tables{};
    for (int x = 0; x < 256; ++x) {
        const std::uint8_t s = kSbox[x];
        const std::uint32_t word = (std::uint32_t{XTime(s)} << 24) | (std::uint32_t{s} << 16) |
                                   (std::uint32_t{s} << 8) |
                                   std::uint32_t{static_cast<std::uint8_t>(XTime(s) ^ s)};
        tables[0][x] = word;
        tables[1][x] = RotateRight(word, 8);
        tables[2][x] = RotateRight(word, 16);
        tables[3][x] = RotateRight(word, 24);
    }
    return tables;
}

constexpr auto kTe = MakeTables();

std::uint32_t LoadBig32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}

void StoreBig32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}

std::uint32_t SubWord(std::uint32_t w) {
    return (std::uint32_t{kSbox[w >> 24]} << 24) | (std::uint32_t{kSbox[(w >> 16) & 0xff]} << 16) |
           (std::uint32_t{kSbox[(w >> 8) & 0xff]} << 8) | std::uint32_t{kSbox[w & 0xff]};
}

// The cipher on four big-endian column words, as the standard's state.
void EncryptWords(const AesKey& key, std::uint32_t s[4]) {
    const std::uint32_t* rk = key.roundKeyWords();
    std::uint32_t s0 = s[0] ^ rk[0], s1 = s[1] ^ rk[1], s2 = s[2] ^ rk[2], s3 = s[3] ^ rk[3];
    for (int round = 1; round < key.rounds(); ++round) {
        rk += 4;
        const std::uint32_t t0 = kTe[0][s0 >> 24] ^ kTe[1][(s1 >> 16) & 0xff] ^
                                 kTe[2][(s2 >> 8) & 0xff] ^ kTe[3][s3 & 0xff] ^ rk[0];
        const std::uint32_t t1 = kTe[0][s1 >> 24] ^ kTe[1][(s2 >> 16) & 0xff] ^
                                 kTe[2][(s3 >> 8) & 0xff] ^ kTe[3][s0 & 0xff] ^ rk[1];
        const std::uint32_t t2 = kTe[0][s2 >> 24] ^ kTe[1][(s3 >> 16) & 0xff] ^
                                 kTe[2][(s0 >> 8) & 0xff] ^ kTe[3][s1 & 0xff] ^ rk[2];
        const std::uint32_t t3 = kTe[0][s3 >> 24] ^ kTe[1][(s0 >> 16) & 0xff] ^
                                 kTe[2][(s1 >> 8) & 0xff] ^ kTe[3][s2 & 0xff] ^ rk[3];
        s0 = t0;
        s1 = t1;
        s2 = t2;
        s3 = t3;
    }
    rk += 4;
    auto last = [](std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
        return (std::uint32_t{kSbox[a >> 24]} << 24) |
               (std::uint32_t{kSbox[(b >> 16) & 0xff]} << 16) |
               (std::uint32_t{kSbox[(c >> 8) & 0xff]} << 8) | std::uint32_t{kSbox[d & 0xff]};
    };
    s[0] = last(s0, s1, s2, s3) ^ rk[0];
    s[1] = last(s1, s2, s3, s0) ^ rk[1];
    s[2] = last(s2, s3, s0, s1) ^ rk[2];
    s[3] = last(s3, s0, s1, s2) ^ rk[3];
}

}  // namespace

AesKey::AesKey(const std::uint8_t* key, std::size_t keySize) {
    if (keySize != 16 && keySize != 24 && keySize != 32) {
        throw std::invalid_argument("AES key must be 16, 24 or 32 bytes");
    }
    const int nk = static_cast<int>(keySize / 4);
    rounds_ = nk + 6;
    const int total = 4 * (rounds_ + 1);
    for (int i = 0; i < nk; ++i) {
        words_[i] = LoadBig32(key + 4 * i);
    }
    std::uint32_t rcon = 0x01;
    for (int i = nk; i < total; ++i) {
        std::uint32_t temp = words_[i - 1];
        if (i % nk == 0) {
            temp = SubWord((temp << 8) | (temp >> 24)) ^ (rcon << 24);
            rcon = XTime(static_cast<std::uint8_t>(rcon));
        } else if (nk > 6 && i % nk == 4) {
            temp = SubWord(temp);
        }
        words_[i] = words_[i - nk] ^ temp;
    }
    for (int i = 0; i < total; ++i) {
        StoreBig32(bytes_ + 4 * i, words_[i]);
    }
}

AesKey::~AesKey() {
    SecureWipe(bytes_, sizeof bytes_);
    SecureWipe(words_, sizeof words_);
}

namespace detail {

void AesEncryptBlockPortable(const AesKey& key, const std::uint8_t in[16], std::uint8_t out[16]) {
    std::uint32_t s[4] = {LoadBig32(in), LoadBig32(in + 4), LoadBig32(in + 8), LoadBig32(in + 12)};
    EncryptWords(key, s);
    for (int i = 0; i < 4; ++i) {
        StoreBig32(out + 4 * i, s[i]);
    }
    SecureWipe(s, sizeof s);
}

std::uint64_t AesCtrXorBlocksPortable(const AesKey& key, std::uint64_t counter, std::uint8_t* data,
                                      std::size_t blocks) {
    for (std::size_t b = 0; b < blocks; ++b, data += kAesBlockSize) {
        ++counter;
        // Bytes 0 to 7 hold the counter little-endian, so as big-endian
        // column words the first two are byte-swapped halves; 8 to 15 are 0.
        std::uint32_t s[4] = {__builtin_bswap32(static_cast<std::uint32_t>(counter)),
                              __builtin_bswap32(static_cast<std::uint32_t>(counter >> 32)), 0, 0};
        EncryptWords(key, s);
        for (int i = 0; i < 4; ++i) {
            StoreBig32(data + 4 * i, LoadBig32(data + 4 * i) ^ s[i]);
        }
    }
    return counter;
}

}  // namespace detail

void AesEncryptBlock(const AesKey& key, const std::uint8_t in[16], std::uint8_t out[16]) {
#ifdef ZORVANE_CIPHER_X86
    if (detail::UseAesNi()) {
        detail::AesEncryptBlockNi(key, in, out);
        return;
    }
#endif
    detail::AesEncryptBlockPortable(key, in, out);
}

std::uint64_t AesCtrXorBlocks(const AesKey& key, std::uint64_t counter, std::uint8_t* data,
                              std::size_t blocks) {
#ifdef ZORVANE_CIPHER_X86
    if (detail::UseAesNi()) {
        return detail::AesCtrXorBlocksNi(key, counter, data, blocks);
    }
#endif
    return detail::AesCtrXorBlocksPortable(key, counter, data, blocks);
}

}  // namespace cipher

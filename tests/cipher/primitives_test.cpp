// Known-answer tests of AES, SHA-1, HMAC-SHA1 and PBKDF2-HMAC-SHA1 from their
// published vectors, run through the portable and the hardware code.
#include <gtest/gtest.h>

#include <random>

#include "backend_param.h"
#include "cipher/aes.h"
#include "cipher/hmac_sha1.h"
#include "cipher/pbkdf2.h"
#include "cipher/sha1.h"
#include "test_bytes.h"

namespace {

using cipher_test::Bytes;
using cipher_test::FromHex;
using cipher_test::FromText;
using cipher_test::ToHex;

std::string Sha1Hex(const Bytes& message) {
    cipher::Sha1 sha;
    sha.update(message.data(), message.size());
    std::uint8_t digest[cipher::kSha1DigestSize];
    sha.finish(digest);
    return ToHex(digest, sizeof digest);
}

class AesTest : public cipher_test::BackendTest {};
INSTANTIATE_BACKENDS(AesTest);

// FIPS 197 appendix C.1 to C.3: one plaintext under a 128, 192 and 256-bit key.
TEST_P(AesTest, EncryptsTheStandardExamples) {
    struct Case {
        const char* key;
        const char* expected;
    };
    const Case cases[] = {
        {.key = "000102030405060708090a0b0c0d0e0f", .expected = "69c4e0d86a7b0430d8cdb78070b4c55a"},
        {.key = "000102030405060708090a0b0c0d0e0f1011121314151617",
         .expected = "dda97ca4864cdfe06eaf70a0ec0d7191"},
        {.key = "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
         .expected = "8ea2b7ca516745bfeafc49904b496089"},
    };
    const Bytes plain = FromHex("00112233445566778899aabbccddeeff");
    for (const Case& c : cases) {
        const Bytes key = FromHex(c.key);
        const cipher::AesKey schedule(key.data(), key.size());
        std::uint8_t out[16];
        cipher::AesEncryptBlock(schedule, plain.data(), out);
        EXPECT_EQ(ToHex(out, 16), c.expected) << "key " << c.key;
    }
}

TEST_P(AesTest, RejectsKeysOfOtherSizes) {
    const std::uint8_t key[33] = {};
    for (std::size_t size : {0, 15, 17, 31, 33}) {
        EXPECT_THROW(cipher::AesKey(key, size), std::invalid_argument) << size;
    }
}

// The bulk counter mode must equal block-by-block encryption of explicit
// counter blocks: little-endian bytes 0 to 7, zero bytes 8 to 15, the carry
// running through all eight bytes and wrapping past the top.
TEST_P(AesTest, CounterBlocksCarryLittleEndianThroughEightBytes) {
    const Bytes key = FromHex("2b7e151628aed2a6abf7158809cf4f3c");
    const cipher::AesKey schedule(key.data(), key.size());
    for (std::uint64_t start :
         {std::uint64_t{0}, std::uint64_t{250}, std::uint64_t{0xfffffff9}, ~std::uint64_t{0} - 5}) {
        constexpr std::size_t kBlocks = 21;  // two runs of eight and a tail
        Bytes data(kBlocks * 16);
        for (std::size_t i = 0; i < data.size(); ++i) {
            data[i] = static_cast<std::uint8_t>(i * 13);
        }
        Bytes expected = data;
        for (std::size_t b = 0; b < kBlocks; ++b) {
            const std::uint64_t value = start + 1 + b;
            std::uint8_t block[16] = {};
            for (int i = 0; i < 8; ++i) {
                block[i] = static_cast<std::uint8_t>(value >> (8 * i));
            }
            std::uint8_t stream[16];
            cipher::AesEncryptBlock(schedule, block, stream);
            for (int i = 0; i < 16; ++i) {
                expected[16 * b + i] ^= stream[i];
            }
        }
        const std::uint64_t last = cipher::AesCtrXorBlocks(schedule, start, data.data(), kBlocks);
        EXPECT_EQ(last, start + kBlocks) << start;
        EXPECT_EQ(data, expected) << start;
    }
}

class Sha1Test : public cipher_test::BackendTest {};
INSTANTIATE_BACKENDS(Sha1Test);

// FIPS 180 examples, plus the empty message.
TEST_P(Sha1Test, HashesTheStandardExamples) {
    struct Case {
        const char* message;
        const char* digest;
    };
    const Case cases[] = {
        {.message = "", .digest = "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {.message = "abc", .digest = "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {.message = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         .digest = "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {.message = "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmno"
                    "ijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu",
         .digest = "a49b2446a02c645bf419f995b67091253a04a259"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Sha1Hex(FromText(c.message)), c.digest) << '"' << c.message << '"';
    }
}

TEST_P(Sha1Test, HashesOneMillionLettersAFedInUnevenPieces) {
    const Bytes piece(997, 'a');
    cipher::Sha1 sha;
    std::size_t left = 1000000;
    while (left > 0) {
        const std::size_t n = std::min(left, piece.size());
        sha.update(piece.data(), n);
        left -= n;
    }
    std::uint8_t digest[cipher::kSha1DigestSize];
    sha.finish(digest);
    EXPECT_EQ(ToHex(digest, sizeof digest), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

// Feeding a message in two parts at every split point, across the padding
// boundaries at 55, 56 and 64 bytes, gives the one-shot digest.
TEST_P(Sha1Test, EverySplitPointGivesTheOneShotDigest) {
    for (std::size_t size : {55, 56, 63, 64, 65, 130}) {
        Bytes message(size);
        for (std::size_t i = 0; i < size; ++i) {
            message[i] = static_cast<std::uint8_t>(i * 31 + size);
        }
        const std::string oneShot = Sha1Hex(message);
        for (std::size_t split = 0; split <= size; ++split) {
            cipher::Sha1 sha;
            sha.update(message.data(), split);
            sha.update(message.data() + split, size - split);
            std::uint8_t digest[cipher::kSha1DigestSize];
            sha.finish(digest);
            ASSERT_EQ(ToHex(digest, sizeof digest), oneShot) << size << " split " << split;
        }
    }
}

class HmacSha1Test : public cipher_test::BackendTest {};
INSTANTIATE_BACKENDS(HmacSha1Test);

// RFC 2202, all seven HMAC-SHA1 cases: short, long and over-block-size keys.
TEST_P(HmacSha1Test, MatchesRfc2202) {
    struct Case {
        Bytes key;
        Bytes data;
        const char* mac;
    };
    const Case cases[] = {
        {.key = Bytes(20, 0x0b),
         .data = FromText("Hi There"),
         .mac = "b617318655057264e28bc0b6fb378c8ef146be00"},
        {.key = FromText("Jefe"),
         .data = FromText("what do ya want for nothing?"),
         .mac = "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
        {.key = Bytes(20, 0xaa),
         .data = Bytes(50, 0xdd),
         .mac = "125d7342b9ac11cd91a39af48aa17b4f63f175d3"},
        {.key = FromHex("0102030405060708090a0b0c0d0e0f10111213141516171819"),
         .data = Bytes(50, 0xcd),
         .mac = "4c9007f4026250c6bc8414f9bf50c86c2d7235da"},
        {.key = Bytes(20, 0x0c),
         .data = FromText("Test With Truncation"),
         .mac = "4c1a03424b55e07fe7f27be1d58bb9324a9a5a04"},
        {.key = Bytes(80, 0xaa),
         .data = FromText("Test Using Larger Than Block-Size Key - Hash Key First"),
         .mac = "aa4ae5e15272d00e95705637ce8a3b55ed402112"},
        {.key = Bytes(80, 0xaa),
         .data =
             FromText("Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data"),
         .mac = "e8e99d0f45237d786d6bbaa7965c7808bbff1a91"},
    };
    for (const Case& c : cases) {
        cipher::HmacSha1 mac(c.key.data(), c.key.size());
        mac.update(c.data.data(), c.data.size());
        std::uint8_t out[cipher::kSha1DigestSize];
        mac.finish(out);
        EXPECT_EQ(ToHex(out, sizeof out), c.mac);
    }
}

class Pbkdf2Test : public cipher_test::BackendTest {};
INSTANTIATE_BACKENDS(Pbkdf2Test);

struct Pbkdf2Case {
    std::string password;
    std::string salt;
    std::uint32_t iterations;
    const char* derived;
};

void ExpectPbkdf2(const Pbkdf2Case& c) {
    const Bytes expected = FromHex(c.derived);
    Bytes out(expected.size());
    cipher::Pbkdf2HmacSha1(reinterpret_cast<const std::uint8_t*>(c.password.data()),
                           c.password.size(), reinterpret_cast<const std::uint8_t*>(c.salt.data()),
                           c.salt.size(), c.iterations, out.data(), out.size());
    EXPECT_EQ(ToHex(out.data(), out.size()), c.derived) << c.iterations;
}

// RFC 6070, without the case of 16777216 iterations (see below).
TEST_P(Pbkdf2Test, MatchesRfc6070) {
    const Pbkdf2Case cases[] = {
        {.password = "password",
         .salt = "salt",
         .iterations = 1,
         .derived = "0c60c80f961f0e71f3a9b524af6012062fe037a6"},
        {.password = "password",
         .salt = "salt",
         .iterations = 2,
         .derived = "ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957"},
        {.password = "password",
         .salt = "salt",
         .iterations = 4096,
         .derived = "4b007901b765489abead49d926f721d065a429c1"},
        {.password = "passwordPASSWORDpassword",
         .salt = "saltSALTsaltSALTsaltSALTsaltSALTsalt",
         .iterations = 4096,
         .derived = "3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038"},
        {.password = std::string("pass\0word", 9),
         .salt = std::string("sa\0lt", 5),
         .iterations = 4096,
         .derived = "56fa6aa75548099dcc37d7f03425e0c3"},
    };
    for (const Pbkdf2Case& c : cases) {
        ExpectPbkdf2(c);
    }
}

// Takes tens of seconds on the portable code; run with
// --gtest_also_run_disabled_tests.
TEST_P(Pbkdf2Test, DISABLED_MatchesRfc6070SixteenMillionIterations) {
    ExpectPbkdf2({"password", "salt", 16777216, "eefe3d61cd4da4e4e9945b3d6ba2158c2634e984"});
}

#if defined(__x86_64__) || defined(__i386__)
// Random keys, counters and blocks through both codes side by side: a
// mismatch here points at the hardware code even where the vectors pass.
TEST(HardwareCode, GivesThePortableResultsOnRandomInput) {
    std::mt19937_64 random(20261210);
    auto fill = [&](std::uint8_t* p, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            p[i] = static_cast<std::uint8_t>(random());
        }
    };
    if (!cipher::AesHardwareAvailable() && !cipher::ShaHardwareAvailable()) {
        GTEST_SKIP() << "processor has neither AES-NI nor the SHA extensions";
    }
    for (int round = 0; round < 200; ++round) {
        if (cipher::ShaHardwareAvailable()) {
            std::uint32_t portable[5];
            fill(reinterpret_cast<std::uint8_t*>(portable), sizeof portable);
            std::uint32_t hardware[5];
            std::copy(portable, portable + 5, hardware);
            std::uint8_t blocks[3 * 64];
            fill(blocks, sizeof blocks);
            cipher::detail::Sha1CompressPortable(portable, blocks, 3);
            cipher::detail::Sha1CompressNi(hardware, blocks, 3);
            ASSERT_TRUE(std::equal(portable, portable + 5, hardware)) << round;
        }
        if (cipher::AesHardwareAvailable()) {
            std::uint8_t key[32];
            fill(key, sizeof key);
            const cipher::AesKey schedule(key, 16 + 8 * (round % 3));
            const std::uint64_t counter = random();
            Bytes portable(16 * 11);
            fill(portable.data(), portable.size());
            Bytes hardware = portable;
            cipher::detail::AesCtrXorBlocksPortable(schedule, counter, portable.data(), 11);
            cipher::detail::AesCtrXorBlocksNi(schedule, counter, hardware.data(), 11);
            ASSERT_EQ(portable, hardware) << round;
        }
    }
}
#endif

}  // namespace

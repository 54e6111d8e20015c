#include <gtest/gtest.h>

#include "backend_param.h"
#include "cipher/salt_generator.h"
#include "cipher/sha1.h"
#include "test_bytes.h"

namespace {

using cipher_test::Bytes;
using cipher_test::ToHex;

// A repeatable entropy source: call k delivers k * 0x9E3779B97F4A7C15 + 1 as
// eight little-endian bytes, the same sequence data/salt_generator_reference.py
// feeds its model.
std::uint64_t gEntropyCalls = 0;

std::size_t CountingEntropy(std::uint8_t out[8]) {
    const std::uint64_t value = gEntropyCalls++ * 0x9E3779B97F4A7C15ull + 1;
    for (int i = 0; i < 8; ++i) {
        out[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    return 8;
}

std::size_t NoEntropy(std::uint8_t*) {
    return 0;
}

class SaltGeneratorTest : public cipher_test::BackendTest {};
INSTANTIATE_BACKENDS(SaltGeneratorTest);

// The start, the pool stirring (state words little-endian, message words
// big-endian, wrapping at the pool end) and two refreshes must give exactly
// the bytes of the independent model, whatever the sizes of the takes.
TEST_P(SaltGeneratorTest, MatchesTheReferenceModelAcrossRefreshes) {
    gEntropyCalls = 0;
    cipher::TSaltGenerator generator(CountingEntropy);
    Bytes taken(600);
    generator.Take(taken.data(), 8);
    generator.Take(taken.data() + 8, 300);
    generator.Take(taken.data() + 308, 292);
    EXPECT_EQ(ToHex(taken.data(), 16), "eddff1da21d38d935fd2c59918ffb1d9");
    cipher::Sha1 sha;
    sha.Update(taken.data(), taken.size());
    std::uint8_t digest[cipher::kSha1DigestSize];
    sha.Final(digest);
    EXPECT_EQ(ToHex(digest, sizeof digest), "4d0b05e1da19aef340e94ae9fcc2b7387ede9b93");
    // 33 calls fill 260 bytes; the start refreshes twice, the takes twice more.
    EXPECT_EQ(gEntropyCalls, 4u * 33u);
}

TEST(SaltGenerator, ClockSeededGeneratorsGiveDifferentSalts) {
    cipher::TSaltGenerator first;
    cipher::TSaltGenerator second;
    std::uint8_t a[8], b[8];
    first.Take(a, sizeof a);
    second.Take(b, sizeof b);
    EXPECT_NE(ToHex(a, 8), ToHex(b, 8));
}

TEST(SaltGenerator, SourceThatDeliversNothingFailsInsteadOfHanging) {
    EXPECT_THROW(cipher::TSaltGenerator generator(NoEntropy), std::runtime_error);
}

}  // namespace

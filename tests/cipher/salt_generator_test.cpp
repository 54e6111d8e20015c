#include <errno.h>
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstddef>
#include <vector>

#include "backend_param.h"
#include "cipher/salt_generator.h"
#include "cipher/sha1.h"
#include "test_bytes.h"

namespace {

using cipher_test::Bytes;
using cipher_test::ToHex;

// A repeatable entropy source: call k delivers k * 0x9E3779B97F4A7C15 + 1 as
// eight little-endian bytes, the same sequence data/saltGeneratorReference.py
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
    generator.take(taken.data(), 8);
    generator.take(taken.data() + 8, 300);
    generator.take(taken.data() + 308, 292);
    EXPECT_EQ(ToHex(taken.data(), 16), "eddff1da21d38d935fd2c59918ffb1d9");
    cipher::Sha1 sha;
    sha.update(taken.data(), taken.size());
    std::uint8_t digest[cipher::kSha1DigestSize];
    sha.finish(digest);
    EXPECT_EQ(ToHex(digest, sizeof digest), "4d0b05e1da19aef340e94ae9fcc2b7387ede9b93");
    // 33 calls fill 260 bytes; the start refreshes twice, the takes twice more.
    EXPECT_EQ(gEntropyCalls, 4u * 33u);
}

TEST(SaltGenerator, DefaultGeneratorsGiveDifferentSalts) {
    cipher::TSaltGenerator first;
    cipher::TSaltGenerator second;
    std::uint8_t a[8], b[8];
    first.take(a, sizeof a);
    second.take(b, sizeof b);
    EXPECT_NE(ToHex(a, 8), ToHex(b, 8));
}

TEST(SaltGenerator, SourceThatDeliversNothingFailsInsteadOfHanging) {
    EXPECT_THROW(cipher::TSaltGenerator generator(NoEntropy), std::runtime_error);
}

// One scripted answer of the random source: `bytes` bytes delivered, or -1
// with `error` set.
struct RandomStep {
    ssize_t bytes;
    int error = 0;
};

std::vector<RandomStep> gRandomScript;
std::size_t gRandomCalls = 0;
std::uint8_t gNextRandomByte = 0;

// Plays gRandomScript, writing 1, 2, 3, ... so that the result shows where
// every byte landed.
ssize_t ScriptedRandom(void* buffer, std::size_t size, unsigned int) {
    if (gRandomCalls >= gRandomScript.size()) {
        ADD_FAILURE() << "called after the script ended";
        errno = EIO;
        return -1;
    }
    const RandomStep step = gRandomScript[gRandomCalls++];
    if (step.bytes < 0) {
        errno = step.error;
        return -1;
    }
    EXPECT_LE(static_cast<std::size_t>(step.bytes), size);
    auto* out = static_cast<std::uint8_t*>(buffer);
    for (ssize_t i = 0; i < step.bytes; ++i) {
        out[i] = ++gNextRandomByte;
    }
    return step.bytes;
}

TEST(SystemRandom, RetriesInterruptionsAndShortReadsAndFailsLoudly) {
    struct RandomCase {
        const char* name;
        std::vector<RandomStep> script;
        bool fills;
    };
    const std::vector<RandomCase> cases = {
        {.name = "one read", .script = {{.bytes = 8}}, .fills = true},
        {.name = "interrupted by a signal",
         .script = {{.bytes = -1, .error = EINTR}, {.bytes = -1, .error = EINTR}, {.bytes = 8}},
         .fills = true},
        {.name = "short reads",
         .script = {{.bytes = 3}, {.bytes = -1, .error = EINTR}, {.bytes = 1}, {.bytes = 4}},
         .fills = true},
        {.name = "no such call", .script = {{.bytes = -1, .error = ENOSYS}}, .fills = false},
        {.name = "fails after a short read",
         .script = {{.bytes = 5}, {.bytes = -1, .error = EFAULT}},
         .fills = false},
        {.name = "delivers nothing", .script = {{.bytes = 0}}, .fills = false},
    };
    for (const RandomCase& c : cases) {
        gRandomScript = c.script;
        gRandomCalls = 0;
        gNextRandomByte = 0;
        Bytes out(8);
        if (c.fills) {
            cipher::ReadSystemRandom(out.data(), out.size(), ScriptedRandom);
            EXPECT_EQ(ToHex(out.data(), out.size()), "0102030405060708") << c.name;
        } else {
            EXPECT_THROW(cipher::ReadSystemRandom(out.data(), out.size(), ScriptedRandom),
                         std::runtime_error)
                << c.name;
        }
        EXPECT_EQ(gRandomCalls, c.script.size()) << c.name;
    }
}

// Makes every getrandom call of this process fail with ENOSYS, as in a
// sandbox that does not allow it. Returns false when the filter cannot be set.
bool RefuseGetrandom() {
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_getrandom, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program{.len = static_cast<unsigned short>(std::size(filter)), .filter = filter};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

// The default generator draws on the system's random source alone: without
// it no salt is made at all, rather than one from a clock.
TEST(SaltGeneratorDeathTest, WithoutTheSystemRandomSourceNoSaltIsMade) {
    EXPECT_EXIT(
        {
            if (!RefuseGetrandom()) {
                ::_exit(2);
            }
            try {
                cipher::TSaltGenerator generator;
            } catch (const std::runtime_error&) {
                ::_exit(0);
            }
            ::_exit(1);
        },
        testing::ExitedWithCode(0), "");
}

}  // namespace

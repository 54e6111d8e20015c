// The settings file cipher: file layout, counter mode across buffer
// boundaries, authentication, bad input and failing streams, through the
// portable and the hardware code.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "backend_param.h"
#include "cipher/aes_lib.h"
#include "cipher/hmac_sha1.h"
#include "cipher/pbkdf2.h"
#include "memory_streams.h"
#include "test_bytes.h"

namespace {

using cipher_test::Bytes;
using cipher_test::MemoryDestination;
using cipher_test::MemorySource;

constexpr std::size_t kSettingsBuffer = 0x40000;
const std::string kPassword = "mvtqzrbnxk";
const std::string kMode2Password(32, 'm');
const std::string kMode3Password(48, 'm');

Bytes Pattern(std::size_t size, unsigned seed) {
    Bytes out(size);
    std::mt19937 random(seed);
    for (auto& b : out) {
        b = static_cast<std::uint8_t>(random());
    }
    return out;
}

Bytes Encrypt(const std::string& password, const Bytes& plain, std::size_t bufferSize) {
    cipher::TEncryption encryption(password, bufferSize);
    MemorySource source(plain);
    MemoryDestination destination;
    EXPECT_TRUE(encryption.EncryptStream(source, destination));
    return destination.bytes;
}

struct Decrypted {
    bool authentic;
    Bytes plain;
};

Decrypted Decrypt(const std::string& password, const Bytes& file, std::size_t bufferSize) {
    cipher::TEncryption encryption(password, bufferSize);
    MemorySource source(file);
    MemoryDestination destination;
    const bool authentic = encryption.DecryptStream(source, &destination, file.size());
    return {authentic, destination.bytes};
}

// The file format written out the slow, obvious way from the primitives: one
// counter block per 16 bytes, HMAC over the whole ciphertext at once.
Bytes ReferenceFile(const std::string& password, const Bytes& salt, const Bytes& plain) {
    const std::size_t keySize = salt.size() == 8 ? 16 : salt.size() == 12 ? 24 : 32;
    Bytes derived(2 * keySize + 2);
    cipher::Pbkdf2HmacSha1(reinterpret_cast<const std::uint8_t*>(password.data()), password.size(),
                           salt.data(), salt.size(), 1000, derived.data(), derived.size());
    const cipher::AesKey key(derived.data(), keySize);
    Bytes file = salt;
    file.push_back(derived[2 * keySize]);
    file.push_back(derived[2 * keySize + 1]);
    std::uint8_t stream[16];
    for (std::size_t i = 0; i < plain.size(); ++i) {
        if (i % 16 == 0) {
            const std::uint64_t counter = i / 16 + 1;
            std::uint8_t block[16] = {};
            for (int j = 0; j < 8; ++j) {
                block[j] = static_cast<std::uint8_t>(counter >> (8 * j));
            }
            cipher::AesEncryptBlock(key, block, stream);
        }
        file.push_back(plain[i] ^ stream[i % 16]);
    }
    cipher::HmacSha1 mac(derived.data() + keySize, keySize);
    mac.update(file.data() + salt.size() + 2, plain.size());
    std::uint8_t code[20];
    mac.finish(code);
    file.insert(file.end(), code, code + 10);
    return file;
}

void ExpectReferenceLayout(const std::string& password, std::size_t saltSize, const Bytes& plain,
                           const Bytes& file) {
    ASSERT_EQ(file.size(), plain.size() + saltSize + 12);
    const Bytes salt(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(saltSize));
    ASSERT_TRUE(file == ReferenceFile(password, salt, plain)) << "plain size " << plain.size();
}

class CryptTest : public cipher_test::BackendTest {};
INSTANTIATE_BACKENDS(CryptTest);

// Sizes and buffer sizes that reach every path of the stream loop and the
// counter: the empty file, a partial block, exactly one buffer (a full read
// and an empty one), a buffer and a remainder (the counter runs on past the
// 16384th block), buffers that are not a multiple of the block size (the key
// stream carries over between buffers), and the larger key sizes.
TEST_P(CryptTest, WritesTheFileLayoutAndReadsItBack) {
    struct Case {
        const char* name;
        const std::string& password;
        std::size_t saltSize;
        std::size_t plainSize;
        std::size_t bufferSize;
    };
    const Case cases[] = {
        {.name = "empty",
         .password = kPassword,
         .saltSize = 8,
         .plainSize = 0,
         .bufferSize = kSettingsBuffer},
        {.name = "partial block",
         .password = kPassword,
         .saltSize = 8,
         .plainSize = 5,
         .bufferSize = kSettingsBuffer},
        {.name = "exactly one buffer",
         .password = kPassword,
         .saltSize = 8,
         .plainSize = kSettingsBuffer,
         .bufferSize = kSettingsBuffer},
        {.name = "buffer and remainder",
         .password = kPassword,
         .saltSize = 8,
         .plainSize = kSettingsBuffer + 37,
         .bufferSize = kSettingsBuffer},
        {.name = "odd buffer",
         .password = kPassword,
         .saltSize = 8,
         .plainSize = 1000,
         .bufferSize = 37},
        {.name = "one-byte buffer",
         .password = kPassword,
         .saltSize = 8,
         .plainSize = 40,
         .bufferSize = 1},
        {.name = "mode 2",
         .password = kMode2Password,
         .saltSize = 12,
         .plainSize = 333,
         .bufferSize = 100},
        {.name = "mode 3",
         .password = kMode3Password,
         .saltSize = 16,
         .plainSize = 333,
         .bufferSize = kSettingsBuffer},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes plain = Pattern(c.plainSize, static_cast<unsigned>(c.plainSize));
        const Bytes file = Encrypt(c.password, plain, c.bufferSize);
        ExpectReferenceLayout(c.password, c.saltSize, plain, file);
        const Decrypted back = Decrypt(c.password, file, c.bufferSize);
        EXPECT_TRUE(back.authentic);
        EXPECT_TRUE(back.plain == plain);
    }
}

TEST_P(CryptTest, ExactlyOneBufferIsReadAsAFullAndAnEmptyRead) {
    cipher::TEncryption encryption(kPassword, kSettingsBuffer);
    MemorySource source(Pattern(kSettingsBuffer, 1));
    MemoryDestination destination;
    ASSERT_TRUE(encryption.EncryptStream(source, destination));
    EXPECT_EQ(source.reads(), (std::vector<std::size_t>{kSettingsBuffer, 0}));
    EXPECT_EQ(destination.bytes.size(), kSettingsBuffer + 20);
}

TEST_P(CryptTest, EveryEncryptionTakesAFreshSalt) {
    const Bytes plain = Pattern(100, 2);
    const Bytes first = Encrypt(kPassword, plain, kSettingsBuffer);
    const Bytes second = Encrypt(kPassword, plain, kSettingsBuffer);
    EXPECT_EQ(first.size(), second.size());
    EXPECT_FALSE(first == second);
    EXPECT_TRUE(Decrypt(kPassword, first, kSettingsBuffer).plain == plain);
    EXPECT_TRUE(Decrypt(kPassword, second, kSettingsBuffer).plain == plain);
}

// Files made by an independent implementation (Python's hashlib and hmac,
// AES from the openssl command line); see data/make_known_answers.py. The
// mode 1 file is long enough for the counter to carry into byte 1.
TEST_P(CryptTest, DecryptsIndependentlyMadeFiles) {
    struct Case {
        const char* file;
        std::string password;
        std::size_t plainSize;
        unsigned seed;
    };
    const Case cases[] = {
        {.file = "mode1_4200.dat", .password = kPassword, .plainSize = 4200, .seed = 3},
        {.file = "mode2_100.dat", .password = std::string(40, 'p'), .plainSize = 100, .seed = 5},
        {.file = "mode3_100.dat", .password = std::string(64, 'q'), .plainSize = 100, .seed = 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        std::ifstream in(std::string(ZORVANE_CIPHER_TEST_DATA) + "/" + c.file, std::ios::binary);
        const Bytes file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        ASSERT_FALSE(file.empty());
        Bytes expected(c.plainSize);
        for (std::size_t i = 0; i < c.plainSize; ++i) {
            expected[i] = static_cast<std::uint8_t>(i * 7 + c.seed);
        }
        for (std::size_t buffer : {std::size_t{100}, kSettingsBuffer}) {
            const Decrypted back = Decrypt(c.password, file, buffer);
            EXPECT_TRUE(back.authentic);
            EXPECT_TRUE(back.plain == expected);
        }
    }
}

// A wrong password fails at the verifier and writes nothing, also one of a
// longer length class, which reads a longer salt. The file's salt is fixed,
// so the one-in-65536 chance of a matching verifier cannot make this flaky.
TEST_P(CryptTest, WrongPasswordWritesNothing) {
    std::ifstream in(std::string(ZORVANE_CIPHER_TEST_DATA) + "/mode1_4200.dat", std::ios::binary);
    const Bytes file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    for (const std::string& password :
         {std::string("mvtqzrbnxj"), std::string(""), std::string(32, 'm'), std::string(48, 'm')}) {
        const Decrypted back = Decrypt(password, file, kSettingsBuffer);
        EXPECT_FALSE(back.authentic) << password;
        EXPECT_TRUE(back.plain.empty()) << password;
    }
}

// A changed ciphertext byte changes exactly that plain byte, the plain text
// is still written in full and the code check fails; a changed salt,
// verifier or code byte fails as well.
TEST_P(CryptTest, EveryChangedByteIsDetected) {
    const Bytes plain = Pattern(50, 3);
    const Bytes file = Encrypt(kPassword, plain, 16);
    for (std::size_t i = 0; i < file.size(); ++i) {
        Bytes damaged = file;
        damaged[i] ^= 0x20;
        const Decrypted back = Decrypt(kPassword, damaged, 16);
        EXPECT_FALSE(back.authentic) << "byte " << i;
        if (i >= 10 && i < 10 + plain.size()) {
            ASSERT_EQ(back.plain.size(), plain.size());
            for (std::size_t j = 0; j < plain.size(); ++j) {
                EXPECT_EQ(back.plain[j], plain[j] ^ (j == i - 10 ? 0x20 : 0)) << i << "," << j;
            }
        }
        if (i >= 10 + plain.size()) {
            EXPECT_TRUE(back.plain == plain) << "code byte " << i;
        }
    }
}

// Every cut of a 21-byte settings file is refused; below 20 bytes (a 19-byte
// file included) nothing is written.
TEST_P(CryptTest, TruncatedFilesAreRefused) {
    const Bytes file = Encrypt(kPassword, Pattern(21, 4), kSettingsBuffer);
    ASSERT_EQ(file.size(), 41u);
    for (std::size_t length = 0; length <= 40; ++length) {
        const Bytes cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length));
        const Decrypted back = Decrypt(kPassword, cut, kSettingsBuffer);
        EXPECT_FALSE(back.authentic) << length;
        if (length < 20) {
            EXPECT_TRUE(back.plain.empty()) << length;
        } else {
            EXPECT_EQ(back.plain.size(), length - 20) << length;
        }
    }
}

// A source shorter than the size the caller announced ends in false.
TEST_P(CryptTest, SourceEndingBeforeTheAnnouncedSizeIsRefused) {
    const Bytes file = Encrypt(kPassword, Pattern(300, 5), kSettingsBuffer);
    cipher::TEncryption encryption(kPassword, 64);
    MemorySource source(file);
    EXPECT_FALSE(encryption.DecryptStream(source, nullptr, file.size() + 100));
}

TEST_P(CryptTest, CheckingWithoutDestinationGivesTheSameVerdict) {
    const Bytes file = Encrypt(kPassword, Pattern(3000, 6), 512);
    Bytes damaged = file;
    damaged[1500] ^= 1;
    cipher::TEncryption goodCheck(kPassword, 512);
    MemorySource good(file);
    EXPECT_TRUE(goodCheck.DecryptStream(good, nullptr, file.size()));
    cipher::TEncryption badCheck(kPassword, 512);
    MemorySource bad(damaged);
    EXPECT_FALSE(badCheck.DecryptStream(bad, nullptr, damaged.size()));
}

// Round trips of sizes just below, at and above every power of two up to
// 4 MiB, checked against the reference layout.
TEST_P(CryptTest, RandomFilesAroundPowersOfTwoRoundTrip) {
    for (int bit = 0; bit <= 22; ++bit) {
        for (int delta : {-1, 0, 1}) {
            const std::size_t size = (std::size_t{1} << bit) + delta;
            const Bytes plain = Pattern(size, static_cast<unsigned>(size * 3 + 1));
            const Bytes file = Encrypt(kPassword, plain, kSettingsBuffer);
            ExpectReferenceLayout(kPassword, 8, plain, file);
            const Decrypted back = Decrypt(kPassword, file, kSettingsBuffer);
            ASSERT_TRUE(back.authentic) << size;
            ASSERT_TRUE(back.plain == plain) << size;
        }
    }
}

// A failing read or write ends the operation with false, and encryption
// then writes no authentication code.
TEST_P(CryptTest, FailingStreamsEndWithFalse) {
    const Bytes plain = Pattern(1000, 7);
    {
        cipher::TEncryption encryption(kPassword, 256);
        MemorySource source(plain, /*failAtRead=*/2);
        MemoryDestination destination;
        EXPECT_FALSE(encryption.EncryptStream(source, destination));
        EXPECT_EQ(destination.bytes.size(), 10u + 2 * 256);
    }
    {
        cipher::TEncryption encryption(kPassword, 256);
        MemorySource source(plain);
        MemoryDestination destination(/*capacity=*/500);
        EXPECT_FALSE(encryption.EncryptStream(source, destination));
        EXPECT_EQ(destination.bytes.size(), 10u + 256);
    }
    const Bytes file = Encrypt(kPassword, plain, 256);
    {
        cipher::TEncryption encryption(kPassword, 256);
        MemorySource source(file, /*failAtRead=*/3);
        MemoryDestination destination;
        EXPECT_FALSE(encryption.DecryptStream(source, &destination, file.size()));
    }
    {
        cipher::TEncryption encryption(kPassword, 256);
        MemorySource source(file);
        MemoryDestination destination(/*capacity=*/300);
        EXPECT_FALSE(encryption.DecryptStream(source, &destination, file.size()));
    }
}

TEST(Crypt, ModeFollowsThePasswordLength) {
    struct Case {
        std::size_t length;
        int mode;
        std::size_t key;
        std::size_t salt;
    };
    for (const Case& c : {Case{0, 1, 16, 8}, Case{.length = 31, .mode = 1, .key = 16, .salt = 8},
                          Case{.length = 32, .mode = 2, .key = 24, .salt = 12},
                          Case{.length = 47, .mode = 2, .key = 24, .salt = 12},
                          Case{.length = 48, .mode = 3, .key = 32, .salt = 16},
                          Case{.length = 128, .mode = 3, .key = 32, .salt = 16}}) {
        const cipher::TCrypt crypt(std::string(c.length, 'x'), 16);
        EXPECT_EQ(crypt.mode(), c.mode) << c.length;
        EXPECT_EQ(crypt.keySize(), c.key) << c.length;
        EXPECT_EQ(crypt.saltSize(), c.salt) << c.length;
    }
}

TEST(Crypt, RejectsOverlongPasswordsAndBadBufferSizes) {
    EXPECT_THROW(cipher::TCrypt(std::string(129, 'x'), 16), std::invalid_argument);
    EXPECT_THROW(cipher::TCrypt("pw", 0), std::invalid_argument);
    EXPECT_THROW(cipher::TCrypt("pw", cipher::TCrypt::kMaxBufferSize + 1), std::invalid_argument);
}

}  // namespace

#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "cipher/aes.h"
#include "cipher/hmac_sha1.h"
#include "cipher/salt_generator.h"

namespace cipher {

// Where a stream operation reads from.
class TSource {
public:
    virtual ~TSource() = default;
    // Reads up to `size` bytes into `data`, fewer only when the data ends.
    // Returns the count (0 at the end) or -1 when reading failed.
    virtual std::ptrdiff_t read(std::uint8_t* data, std::size_t size) = 0;
};

// Where a stream operation writes to.
class TDestination {
public:
    virtual ~TDestination() = default;
    // Writes all `size` bytes; false when that failed.
    virtual bool write(const std::uint8_t* data, std::size_t size) = 0;
};

// Password-based authenticated encryption of a whole file: PBKDF2-HMAC-SHA1
// derives the AES key, the HMAC-SHA1 key and a two-byte password verifier
// from the password and a random salt; AES runs in a counter mode with a
// little-endian 64-bit counter; ten bytes of HMAC-SHA1 over the ciphertext
// close the file. Layout: salt, verifier, ciphertext (as long as the plain
// text), code. No header, so the reader knows the mode from the password.
//
// An object serves one file. Key material, the work buffer (it holds plain
// text) and the password are wiped when it dies.
class TCrypt {
public:
    // Longest accepted password; longer ones throw std::invalid_argument.
    static constexpr std::size_t kMaxPasswordSize = 128;
    // Largest work buffer. The settings files use 256 KiB; the cap keeps a
    // mistaken size from asking for memory the machine does not have.
    static constexpr std::size_t kMaxBufferSize = std::size_t{64} << 20;
    // PBKDF2 iteration count fixed by the file format.
    static constexpr std::uint32_t kIterations = 1000;
    static constexpr std::size_t kVerifierSize = 2;
    static constexpr std::size_t kCodeSize = 10;

    // Chooses the key-size mode from the password length: below 32 bytes
    // mode 1 (AES-128, 8-byte salt), below 48 mode 2 (AES-192, 12-byte salt),
    // otherwise mode 3 (AES-256, 16-byte salt). `bufferSize` (B) is the size
    // of every read and write; 0 or above kMaxBufferSize throws
    // std::invalid_argument.
    TCrypt(std::string_view password, std::size_t bufferSize);
    virtual ~TCrypt();
    TCrypt(const TCrypt&) = delete;
    TCrypt& operator=(const TCrypt&) = delete;

    int mode() const { return mode_; }
    std::size_t keySize() const { return keySize_; }
    std::size_t saltSize() const { return saltSize_; }
    std::size_t bufferSize() const { return bufferSize_; }

    // Decrypts `sourceSize` bytes of encrypted file from `source` into
    // `destination`, or only checks them when `destination` is null. True when
    // the verifier and the authentication code both matched. The plain text is
    // written in full before the code is checked, so a false result can leave
    // garbled text in the destination; a short file or a wrong verifier writes
    // nothing. A read or write failure gives false.
    bool DecryptStream(TSource& source, TDestination* destination, std::uint64_t sourceSize);

protected:
    // Derives the keys from the password and the salt and resets the counter
    // and the authentication code.
    void prepareState(const std::uint8_t* salt);
    // Encrypts or decrypts in place (the same XOR with the key stream); the
    // counter runs on from the previous call.
    void transform(std::uint8_t* data, std::size_t size);
    // Encrypts then authenticates, or authenticates then decrypts, a run of
    // the work buffer in pieces small enough to stay in the first-level cache
    // between the two passes.
    void encryptAndAuthenticate(std::uint8_t* data, std::size_t size);
    void authenticateAndDecrypt(std::uint8_t* data, std::size_t size);
    // The first kCodeSize bytes of the final HMAC; the MAC state is used up.
    void finishCode(std::uint8_t code[kCodeSize]);

    std::uint8_t* workBuffer() { return buffer_.get(); }
    const std::uint8_t* verifier() const { return verifier_; }

private:
    std::string password_;
    int mode_ = 1;
    std::size_t keySize_ = 16;
    std::size_t saltSize_ = 8;
    std::size_t bufferSize_ = 0;
    std::unique_ptr<std::uint8_t[]> buffer_;

    std::optional<AesKey> aes_;
    std::optional<HmacSha1> mac_;
    // The counter block's bytes 0 to 7 as a number; bytes 8 to 15 stay zero.
    std::uint64_t counter_ = 0;
    std::uint8_t keystream_[kAesBlockSize] = {};
    std::size_t keystreamPosition_ = kAesBlockSize;
    std::uint8_t verifier_[kVerifierSize] = {};
};

// The cipher object the settings file routines use: TCrypt plus the salt
// generator that gives every encrypted file a fresh salt.
class TEncryption : public TCrypt {
public:
    TEncryption(std::string_view password, std::size_t bufferSize);

    // Encrypts `source` to `destination`: salt, verifier, ciphertext and code.
    // True when the whole file, code included, was written; a read or write
    // failure ends it with false and no code is written.
    bool EncryptStream(TSource& source, TDestination& destination);

private:
    TSaltGenerator saltGenerator_;
};

}  // namespace cipher

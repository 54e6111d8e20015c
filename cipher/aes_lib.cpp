#include "cipher/aes_lib.h"

#include <algorithm>
#include <stdexcept>

#include "cipher/pbkdf2.h"
#include "cipher/wipe.h"

namespace cipher {

namespace {

// Password lengths at which the key-size mode steps up.
constexpr std::size_t kMode2PasswordSize = 32;
constexpr std::size_t kMode3PasswordSize = 48;
// Both passes over the work buffer go piece by piece so that the piece just
// encrypted is still in the first-level data cache when HMAC reads it.
constexpr std::size_t kCachePiece = 16 * 1024;
// The largest derived key material: 2 * 32 key bytes plus the verifier.
constexpr std::size_t kMaxDerivedSize = 66;
// The largest salt (mode 3).
constexpr std::size_t kMaxSaltSize = 16;

// Reads exactly `size` bytes; false on a failure or an early end.
bool ReadExactly(TSource& source, std::uint8_t* data, std::size_t size) {
    return source.read(data, size) == static_cast<std::ptrdiff_t>(size);
}

}  // namespace

TCrypt::TCrypt(std::string_view password, std::size_t bufferSize)
    : password_(password), bufferSize_(bufferSize) {
    if (password.size() > kMaxPasswordSize) {
        SecureWipe(password_.data(), password_.size());
        throw std::invalid_argument("password longer than 128 bytes");
    }
    if (bufferSize == 0 || bufferSize > kMaxBufferSize) {
        SecureWipe(password_.data(), password_.size());
        throw std::invalid_argument("work buffer size out of range");
    }
    if (password.size() < kMode2PasswordSize) {
        mode_ = 1;
        keySize_ = 16;
        saltSize_ = 8;
    } else if (password.size() < kMode3PasswordSize) {
        mode_ = 2;
        keySize_ = 24;
        saltSize_ = 12;
    } else {
        mode_ = 3;
        keySize_ = 32;
        saltSize_ = 16;
    }
    buffer_ = std::make_unique<std::uint8_t[]>(bufferSize_);
}

TCrypt::~TCrypt() {
    SecureWipe(password_.data(), password_.size());
    SecureWipe(buffer_.get(), bufferSize_);
    SecureWipe(keystream_, sizeof keystream_);
    SecureWipe(verifier_, sizeof verifier_);
    SecureWipe(&counter_, sizeof counter_);
}

void TCrypt::prepareState(const std::uint8_t* salt) {
    std::uint8_t derived[kMaxDerivedSize];
    const std::size_t derivedSize = 2 * keySize_ + kVerifierSize;
    Pbkdf2HmacSha1(reinterpret_cast<const std::uint8_t*>(password_.data()), password_.size(), salt,
                   saltSize_, kIterations, derived, derivedSize);
    aes_.reset();
    aes_.emplace(derived, keySize_);
    mac_.reset();
    mac_.emplace(derived + keySize_, keySize_);
    verifier_[0] = derived[2 * keySize_];
    verifier_[1] = derived[2 * keySize_ + 1];
    counter_ = 0;
    keystreamPosition_ = kAesBlockSize;
    SecureWipe(derived, sizeof derived);
}

void TCrypt::transform(std::uint8_t* data, std::size_t size) {
    while (size > 0 && keystreamPosition_ < kAesBlockSize) {
        *data++ ^= keystream_[keystreamPosition_++];
        --size;
    }
    const std::size_t blocks = size / kAesBlockSize;
    if (blocks > 0) {
        counter_ = AesCtrXorBlocks(*aes_, counter_, data, blocks);
        data += blocks * kAesBlockSize;
        size -= blocks * kAesBlockSize;
    }
    if (size > 0) {
        // A partial block: keep the rest of its key stream for the next call.
        std::fill(keystream_, keystream_ + kAesBlockSize, 0);
        counter_ = AesCtrXorBlocks(*aes_, counter_, keystream_, 1);
        for (keystreamPosition_ = 0; keystreamPosition_ < size; ++keystreamPosition_) {
            data[keystreamPosition_] ^= keystream_[keystreamPosition_];
        }
    }
}

void TCrypt::encryptAndAuthenticate(std::uint8_t* data, std::size_t size) {
    for (std::size_t done = 0; done < size; done += kCachePiece) {
        const std::size_t piece = std::min(kCachePiece, size - done);
        transform(data + done, piece);
        mac_->update(data + done, piece);
    }
}

void TCrypt::authenticateAndDecrypt(std::uint8_t* data, std::size_t size) {
    for (std::size_t done = 0; done < size; done += kCachePiece) {
        const std::size_t piece = std::min(kCachePiece, size - done);
        mac_->update(data + done, piece);
        transform(data + done, piece);
    }
}

void TCrypt::finishCode(std::uint8_t code[kCodeSize]) {
    std::uint8_t mac[kSha1DigestSize];
    mac_->finish(mac);
    std::copy(mac, mac + kCodeSize, code);
    SecureWipe(mac, sizeof mac);
    mac_.reset();
}

bool TCrypt::DecryptStream(TSource& source, TDestination* destination, std::uint64_t sourceSize) {
    if (sourceSize < saltSize_ + kVerifierSize + kCodeSize) {
        return false;
    }
    std::uint8_t salt[kMaxSaltSize];
    if (!ReadExactly(source, salt, saltSize_)) {
        return false;
    }
    prepareState(salt);
    std::uint8_t storedVerifier[kVerifierSize];
    if (!ReadExactly(source, storedVerifier, kVerifierSize) ||
        !ConstantTimeEqual(storedVerifier, verifier_, kVerifierSize)) {
        return false;
    }
    std::uint64_t remaining = sourceSize - saltSize_ - kVerifierSize - kCodeSize;
    std::uint8_t* buffer = buffer_.get();
    while (remaining > 0) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(bufferSize_, remaining));
        const std::ptrdiff_t got = source.read(buffer, want);
        if (got <= 0 || static_cast<std::size_t>(got) > want) {
            return false;
        }
        const std::size_t m = static_cast<std::size_t>(got);
        authenticateAndDecrypt(buffer, m);
        if (destination != nullptr && !destination->write(buffer, m)) {
            return false;
        }
        remaining -= m;
    }
    std::uint8_t expected[kCodeSize];
    std::uint8_t stored[kCodeSize];
    finishCode(expected);
    const bool authentic =
        ReadExactly(source, stored, kCodeSize) && ConstantTimeEqual(expected, stored, kCodeSize);
    SecureWipe(expected, sizeof expected);
    return authentic;
}

TEncryption::TEncryption(std::string_view password, std::size_t bufferSize)
    : TCrypt(password, bufferSize) {}

bool TEncryption::EncryptStream(TSource& source, TDestination& destination) {
    std::uint8_t salt[kMaxSaltSize];
    saltGenerator_.take(salt, saltSize());
    prepareState(salt);
    if (!destination.write(salt, saltSize()) || !destination.write(verifier(), kVerifierSize)) {
        return false;
    }
    std::uint8_t* buffer = workBuffer();
    for (;;) {
        const std::ptrdiff_t got = source.read(buffer, bufferSize());
        if (got < 0 || static_cast<std::size_t>(got) > bufferSize()) {
            return false;
        }
        const std::size_t n = static_cast<std::size_t>(got);
        encryptAndAuthenticate(buffer, n);
        if (n > 0 && !destination.write(buffer, n)) {
            return false;
        }
        if (n < bufferSize()) {
            std::uint8_t code[kCodeSize];
            finishCode(code);
            return destination.write(code, kCodeSize);
        }
    }
}

}  // namespace cipher

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
    return source.Read(data, size) == static_cast<std::ptrdiff_t>(size);
}

}  // namespace

TCrypt::TCrypt(std::string_view password, std::size_t buffer_size)
    : password_(password), buffer_size_(buffer_size) {
    if (password.size() > kMaxPasswordSize) {
        SecureWipe(password_.data(), password_.size());
        throw std::invalid_argument("password longer than 128 bytes");
    }
    if (buffer_size == 0 || buffer_size > kMaxBufferSize) {
        SecureWipe(password_.data(), password_.size());
        throw std::invalid_argument("work buffer size out of range");
    }
    if (password.size() < kMode2PasswordSize) {
        mode_ = 1;
        key_size_ = 16;
        salt_size_ = 8;
    } else if (password.size() < kMode3PasswordSize) {
        mode_ = 2;
        key_size_ = 24;
        salt_size_ = 12;
    } else {
        mode_ = 3;
        key_size_ = 32;
        salt_size_ = 16;
    }
    buffer_ = std::make_unique<std::uint8_t[]>(buffer_size_);
}

TCrypt::~TCrypt() {
    SecureWipe(password_.data(), password_.size());
    SecureWipe(buffer_.get(), buffer_size_);
    SecureWipe(keystream_, sizeof keystream_);
    SecureWipe(verifier_, sizeof verifier_);
    SecureWipe(&counter_, sizeof counter_);
}

void TCrypt::PrepareState(const std::uint8_t* salt) {
    std::uint8_t derived[kMaxDerivedSize];
    const std::size_t derived_size = 2 * key_size_ + kVerifierSize;
    Pbkdf2HmacSha1(reinterpret_cast<const std::uint8_t*>(password_.data()), password_.size(), salt,
                   salt_size_, kIterations, derived, derived_size);
    aes_.reset();
    aes_.emplace(derived, key_size_);
    mac_.reset();
    mac_.emplace(derived + key_size_, key_size_);
    verifier_[0] = derived[2 * key_size_];
    verifier_[1] = derived[2 * key_size_ + 1];
    counter_ = 0;
    keystream_position_ = kAesBlockSize;
    SecureWipe(derived, sizeof derived);
}

void TCrypt::Transform(std::uint8_t* data, std::size_t size) {
    while (size > 0 && keystream_position_ < kAesBlockSize) {
        *data++ ^= keystream_[keystream_position_++];
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
        for (keystream_position_ = 0; keystream_position_ < size; ++keystream_position_) {
            data[keystream_position_] ^= keystream_[keystream_position_];
        }
    }
}

void TCrypt::EncryptAndAuthenticate(std::uint8_t* data, std::size_t size) {
    for (std::size_t done = 0; done < size; done += kCachePiece) {
        const std::size_t piece = std::min(kCachePiece, size - done);
        Transform(data + done, piece);
        mac_->Update(data + done, piece);
    }
}

void TCrypt::AuthenticateAndDecrypt(std::uint8_t* data, std::size_t size) {
    for (std::size_t done = 0; done < size; done += kCachePiece) {
        const std::size_t piece = std::min(kCachePiece, size - done);
        mac_->Update(data + done, piece);
        Transform(data + done, piece);
    }
}

void TCrypt::FinishCode(std::uint8_t code[kCodeSize]) {
    std::uint8_t mac[kSha1DigestSize];
    mac_->Final(mac);
    std::copy(mac, mac + kCodeSize, code);
    SecureWipe(mac, sizeof mac);
    mac_.reset();
}

bool TCrypt::DecryptStream(TSource& source, TDestination* destination, std::uint64_t source_size) {
    if (source_size < salt_size_ + kVerifierSize + kCodeSize) {
        return false;
    }
    std::uint8_t salt[kMaxSaltSize];
    if (!ReadExactly(source, salt, salt_size_)) {
        return false;
    }
    PrepareState(salt);
    std::uint8_t stored_verifier[kVerifierSize];
    if (!ReadExactly(source, stored_verifier, kVerifierSize) ||
        !ConstantTimeEqual(stored_verifier, verifier_, kVerifierSize)) {
        return false;
    }
    std::uint64_t remaining = source_size - salt_size_ - kVerifierSize - kCodeSize;
    std::uint8_t* buffer = buffer_.get();
    while (remaining > 0) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(buffer_size_, remaining));
        const std::ptrdiff_t got = source.Read(buffer, want);
        if (got <= 0 || static_cast<std::size_t>(got) > want) {
            return false;
        }
        const std::size_t m = static_cast<std::size_t>(got);
        AuthenticateAndDecrypt(buffer, m);
        if (destination != nullptr && !destination->Write(buffer, m)) {
            return false;
        }
        remaining -= m;
    }
    std::uint8_t expected[kCodeSize];
    std::uint8_t stored[kCodeSize];
    FinishCode(expected);
    const bool authentic =
        ReadExactly(source, stored, kCodeSize) && ConstantTimeEqual(expected, stored, kCodeSize);
    SecureWipe(expected, sizeof expected);
    return authentic;
}

TEncryption::TEncryption(std::string_view password, std::size_t buffer_size)
    : TCrypt(password, buffer_size) {}

bool TEncryption::EncryptStream(TSource& source, TDestination& destination) {
    std::uint8_t salt[kMaxSaltSize];
    salt_generator_.Take(salt, salt_size());
    PrepareState(salt);
    if (!destination.Write(salt, salt_size()) || !destination.Write(verifier(), kVerifierSize)) {
        return false;
    }
    std::uint8_t* buffer = work_buffer();
    for (;;) {
        const std::ptrdiff_t got = source.Read(buffer, buffer_size());
        if (got < 0 || static_cast<std::size_t>(got) > buffer_size()) {
            return false;
        }
        const std::size_t n = static_cast<std::size_t>(got);
        EncryptAndAuthenticate(buffer, n);
        if (n > 0 && !destination.Write(buffer, n)) {
            return false;
        }
        if (n < buffer_size()) {
            std::uint8_t code[kCodeSize];
            FinishCode(code);
            return destination.Write(code, kCodeSize);
        }
    }
}

}  // namespace cipher

#pragma once

#include <cstddef>
#include <cstdint>

namespace cipher {

inline constexpr std::size_t kSha1BlockSize = 64;
inline constexpr std::size_t kSha1DigestSize = 20;

// Applies the SHA-1 compression function to `blocks` consecutive 64-byte
// message blocks, updating the five state words. Uses the current backend.
void Sha1Compress(std::uint32_t state[5], const std::uint8_t* data, std::size_t blocks);

// SHA-1 of a byte stream fed in pieces of any size. Wiped when it dies.
class Sha1 {
public:
    Sha1() { reset(); }
    ~Sha1();
    Sha1(const Sha1& other) = default;
    Sha1& operator=(const Sha1& other) = default;

    void reset();
    void update(const std::uint8_t* data, std::size_t size);
    // Writes the 20-byte digest; the object must be Reset before reuse.
    void finish(std::uint8_t digest[kSha1DigestSize]);

private:
    std::uint32_t state_[5];
    std::uint64_t length_ = 0;
    std::uint8_t buffer_[kSha1BlockSize];
    std::size_t buffered_ = 0;
};

namespace detail {
void Sha1CompressPortable(std::uint32_t state[5], const std::uint8_t* data, std::size_t blocks);
void Sha1CompressNi(std::uint32_t state[5], const std::uint8_t* data, std::size_t blocks);
}  // namespace detail

}  // namespace cipher

#pragma once

#include <cstddef>
#include <cstdint>

namespace cipher {

inline constexpr std::size_t kAesBlockSize = 16;
// AES-256 has 14 rounds and so 15 round keys; the schedule is sized for it.
inline constexpr int kAesMaxRounds = 14;

// An AES key schedule for the encryption direction (the counter mode never
// decrypts a block). The round keys are kept both as bytes in the order the
// standard lists them, which the AES-NI code loads directly, and as
// big-endian words for the table-driven portable code. Wiped when it dies.
class AesKey {
public:
    // keySize is 16, 24 or 32; anything else throws std::invalid_argument.
    AesKey(const std::uint8_t* key, std::size_t keySize);
    ~AesKey();
    AesKey(const AesKey&) = delete;
    AesKey& operator=(const AesKey&) = delete;

    int rounds() const { return rounds_; }
    const std::uint8_t* roundKeyBytes() const { return bytes_; }
    const std::uint32_t* roundKeyWords() const { return words_; }

private:
    int rounds_ = 0;
    alignas(16) std::uint8_t bytes_[(kAesMaxRounds + 1) * kAesBlockSize] = {};
    std::uint32_t words_[(kAesMaxRounds + 1) * 4] = {};
};

// Encrypts one block with the current backend.
void AesEncryptBlock(const AesKey& key, const std::uint8_t in[16], std::uint8_t out[16]);

// XORs `blocks` whole blocks of data in place with the key stream of the
// settings file's counter mode: the blocks whose bytes 0 to 7 hold the
// little-endian 64-bit counter values counter + 1, counter + 2, ... (wrapping
// past 2^64 - 1 to 0) and whose bytes 8 to 15 are zero. Returns the counter
// value of the last block used.
std::uint64_t AesCtrXorBlocks(const AesKey& key, std::uint64_t counter, std::uint8_t* data,
                              std::size_t blocks);

namespace detail {
void AesEncryptBlockPortable(const AesKey& key, const std::uint8_t in[16], std::uint8_t out[16]);
std::uint64_t AesCtrXorBlocksPortable(const AesKey& key, std::uint64_t counter, std::uint8_t* data,
                                      std::size_t blocks);
void AesEncryptBlockNi(const AesKey& key, const std::uint8_t in[16], std::uint8_t out[16]);
std::uint64_t AesCtrXorBlocksNi(const AesKey& key, std::uint64_t counter, std::uint8_t* data,
                                std::size_t blocks);
}  // namespace detail

}  // namespace cipher

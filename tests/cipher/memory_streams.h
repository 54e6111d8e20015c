#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "cipher/aes_lib.h"

namespace cipher_test {

// A source over bytes in memory that records the size of every read and can
// fail at a chosen read.
class MemorySource : public cipher::TSource {
public:
    explicit MemorySource(std::vector<std::uint8_t> data, int failAtRead = -1)
        : data_(std::move(data)), failAtRead_(failAtRead) {}

    std::ptrdiff_t read(std::uint8_t* out, std::size_t size) override {
        if (static_cast<int>(reads_.size()) == failAtRead_) {
            return -1;
        }
        const std::size_t n = std::min(size, data_.size() - position_);
        std::copy(data_.begin() + position_, data_.begin() + position_ + n, out);
        position_ += n;
        reads_.push_back(n);
        return static_cast<std::ptrdiff_t>(n);
    }

    const std::vector<std::size_t>& reads() const { return reads_; }

private:
    std::vector<std::uint8_t> data_;
    std::size_t position_ = 0;
    std::vector<std::size_t> reads_;
    int failAtRead_;
};

// A destination in memory that can refuse writes once it holds a chosen
// number of bytes.
class MemoryDestination : public cipher::TDestination {
public:
    explicit MemoryDestination(std::size_t capacity = SIZE_MAX) : capacity_(capacity) {}

    bool write(const std::uint8_t* data, std::size_t size) override {
        if (bytes.size() + size > capacity_) {
            return false;
        }
        bytes.insert(bytes.end(), data, data + size);
        return true;
    }

    std::vector<std::uint8_t> bytes;

private:
    std::size_t capacity_;
};

}  // namespace cipher_test

#include "net/stream.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace net {

void MemoryStream::seek(std::uint64_t pos) {
    pos_ = std::min<std::uint64_t>(pos, data_.size());
}

void MemoryStream::resize(std::uint64_t newSize) {
    data_.resize(static_cast<std::size_t>(newSize));
    pos_ = std::min<std::uint64_t>(pos_, data_.size());
}

void MemoryStream::write(const char* data, std::size_t len) {
    if (len == 0) {
        return;
    }
    const std::uint64_t end = pos_ + len;
    if (end > data_.size()) {
        data_.resize(static_cast<std::size_t>(end));
    }
    std::memcpy(data_.data() + pos_, data, len);
    pos_ = end;
}

void BoundedStream::check(std::uint64_t size) const {
    if (size > limit_) {
        throw std::runtime_error(message_);
    }
}

void BoundedStream::resize(std::uint64_t newSize) {
    check(newSize);
    inner_.resize(newSize);
}

void BoundedStream::write(const char* data, std::size_t len) {
    check(inner_.position() + len);
    inner_.write(data, len);
}

namespace {

std::runtime_error fileError(const std::string& what, const std::string& path) {
    return std::runtime_error(what + " " + path + ": " + std::strerror(errno));
}

}  // namespace

FileStream::FileStream(const std::string& path) : path_(path) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        throw fileError("Cannot create file", path);
    }
}

FileStream::~FileStream() {
    close();
}

void FileStream::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

void FileStream::seek(std::uint64_t pos) {
    pos_ = std::min(pos, size_);
}

void FileStream::resize(std::uint64_t newSize) {
    if (fd_ < 0) {
        throw std::runtime_error("File is closed: " + path_);
    }
    if (::ftruncate(fd_, static_cast<off_t>(newSize)) != 0) {
        throw fileError("Cannot resize file", path_);
    }
    size_ = newSize;
    pos_ = std::min(pos_, size_);
}

void FileStream::write(const char* data, std::size_t len) {
    if (fd_ < 0) {
        throw std::runtime_error("File is closed: " + path_);
    }
    while (len > 0) {
        const ssize_t n = ::pwrite(fd_, data, len, static_cast<off_t>(pos_));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw fileError("Cannot write file", path_);
        }
        data += n;
        len -= static_cast<std::size_t>(n);
        pos_ += static_cast<std::uint64_t>(n);
        size_ = std::max(size_, pos_);
    }
}

}  // namespace net

#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace net {

// The caller's stream that a download writes into: a file or memory. The
// client writes from the position it finds, may enlarge the stream once to
// the announced size before a length-announced body and cuts it back to the
// bytes written afterwards, and cuts it back to the starting position when a
// redirect is followed.
class OutputStream {
public:
    virtual ~OutputStream() = default;
    virtual std::uint64_t position() const = 0;
    virtual std::uint64_t size() const = 0;
    // Moves the write position; never beyond size().
    virtual void seek(std::uint64_t pos) = 0;
    // Sets the size; the position is clamped to the new size.
    virtual void resize(std::uint64_t newSize) = 0;
    // Writes at the position and advances it; throws std::runtime_error on failure.
    virtual void write(const char* data, std::size_t len) = 0;
};

// A stream held in memory.
class MemoryStream final : public OutputStream {
public:
    std::uint64_t position() const override { return pos_; }
    std::uint64_t size() const override { return data_.size(); }
    void seek(std::uint64_t pos) override;
    void resize(std::uint64_t newSize) override;
    void write(const char* data, std::size_t len) override;

    const std::string& data() const { return data_; }

private:
    std::string data_;
    std::uint64_t pos_ = 0;
};

// Passes everything on to another stream but lets it grow to at most `limit`
// bytes: a stream that a server fills must not grow without end. Beyond the
// limit, resize and write throw std::runtime_error(message) and change nothing.
class BoundedStream final : public OutputStream {
public:
    BoundedStream(OutputStream& inner, std::uint64_t limit, std::string message)
        : inner_(inner), limit_(limit), message_(std::move(message)) {}

    std::uint64_t position() const override { return inner_.position(); }
    std::uint64_t size() const override { return inner_.size(); }
    void seek(std::uint64_t pos) override { inner_.seek(pos); }
    void resize(std::uint64_t newSize) override;
    void write(const char* data, std::size_t len) override;

private:
    void check(std::uint64_t size) const;

    OutputStream& inner_;
    std::uint64_t limit_;
    std::string message_;
};

// A stream on an open file descriptor, which the stream closes.
class FileStream final : public OutputStream {
public:
    // Creates or truncates the file; throws std::runtime_error naming the path on failure.
    explicit FileStream(const std::string& path);
    ~FileStream() override;
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    std::uint64_t position() const override { return pos_; }
    std::uint64_t size() const override { return size_; }
    void seek(std::uint64_t pos) override;
    void resize(std::uint64_t newSize) override;
    void write(const char* data, std::size_t len) override;
    // Closes the file early; further writes throw.
    void close();

private:
    int fd_ = -1;
    std::string path_;
    std::uint64_t pos_ = 0;
    std::uint64_t size_ = 0;
};

}  // namespace net

#include "util/settings_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "cipher/aes_lib.h"
#include "util/file_descriptor.h"

namespace util {

namespace {

// Takes errno first, before building the message can disturb it.
[[noreturn]] void Fail(const char* what, const std::string& path) {
    const int error = errno;
    throw SettingsFileError(std::string(what) + " " + path + ": " + std::strerror(error));
}

// Opens with O_NONBLOCK so that a FIFO in place of a settings file cannot
// block the program forever, then switches back to ordinary blocking I/O.
int OpenWithoutWaiting(const std::string& path, int flags, mode_t create_mode) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK, create_mode);
    if (fd < 0) {
        return -1;
    }
    const int current = ::fcntl(fd, F_GETFL);
    if (current >= 0) {
        ::fcntl(fd, F_SETFL, current & ~O_NONBLOCK);
    }
    return fd;
}

FileDescriptor OpenSource(const std::string& path, struct stat& info) {
    FileDescriptor source(OpenWithoutWaiting(path, O_RDONLY, 0));
    if (source.get() < 0) {
        Fail("cannot open", path);
    }
    if (::fstat(source.get(), &info) != 0) {
        Fail("cannot examine", path);
    }
    // A settings file is a regular file: a device or FIFO could deliver
    // bytes without end, and only a regular file has a size that says where
    // the authentication code starts.
    if (!S_ISREG(info.st_mode)) {
        throw SettingsFileError("not a regular file: " + path);
    }
    return source;
}

// Creates (with create_mode, less the umask) or truncates the destination,
// but never the source itself. A truncated file keeps its permission bits.
FileDescriptor CreateDestination(const std::string& path, const struct stat& source_info,
                                 mode_t create_mode) {
    struct stat existing {};
    if (::stat(path.c_str(), &existing) == 0 && existing.st_dev == source_info.st_dev &&
        existing.st_ino == source_info.st_ino) {
        throw SettingsFileError("source and destination are the same file: " + path);
    }
    FileDescriptor destination(OpenWithoutWaiting(path, O_WRONLY | O_CREAT | O_TRUNC, create_mode));
    if (destination.get() < 0) {
        Fail("cannot create", path);
    }
    return destination;
}

class FileSource : public cipher::TSource {
public:
    explicit FileSource(int fd) : fd_(fd) {}
    std::ptrdiff_t Read(std::uint8_t* data, std::size_t size) override {
        std::size_t total = 0;
        while (total < size) {
            const ssize_t got = ::read(fd_, data + total, size - total);
            if (got < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return -1;
            }
            if (got == 0) {
                break;
            }
            total += static_cast<std::size_t>(got);
        }
        return static_cast<std::ptrdiff_t>(total);
    }

private:
    int fd_;
};

class FileDestination : public cipher::TDestination {
public:
    explicit FileDestination(int fd) : fd_(fd) {}
    bool Write(const std::uint8_t* data, std::size_t size) override {
        while (size > 0) {
            const ssize_t put = ::write(fd_, data, size);
            if (put < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return false;
            }
            data += put;
            size -= static_cast<std::size_t>(put);
        }
        return true;
    }

private:
    int fd_;
};

class StringSource : public cipher::TSource {
public:
    explicit StringSource(std::string_view text) : text_(text) {}
    std::ptrdiff_t Read(std::uint8_t* data, std::size_t size) override {
        const std::size_t n = std::min(size, text_.size());
        std::memcpy(data, text_.data(), n);
        text_.remove_prefix(n);
        return static_cast<std::ptrdiff_t>(n);
    }

private:
    std::string_view text_;
};

class StringDestination : public cipher::TDestination {
public:
    explicit StringDestination(std::string& text) : text_(text) {}
    bool Write(const std::uint8_t* data, std::size_t size) override {
        text_.append(reinterpret_cast<const char*>(data), size);
        return true;
    }

private:
    std::string& text_;
};

// Wipes plain text that did not authenticate before its memory goes back.
void Wipe(std::string& text) {
    volatile char* bytes = text.data();
    for (std::size_t i = 0; i < text.size(); ++i) {
        bytes[i] = 0;
    }
    text.clear();
}

}  // namespace

void EncryptSettingsFile(const std::string& plain_path, const std::string& encrypted_path,
                         std::string_view password) {
    struct stat plain_info {};
    FileDescriptor plain = OpenSource(plain_path, plain_info);
    FileDescriptor encrypted = CreateDestination(encrypted_path, plain_info, 0666);
    bool written = false;
    {
        cipher::TEncryption encryption(password, kSettingsBufferSize);
        FileSource source(plain.get());
        FileDestination destination(encrypted.get());
        written = encryption.EncryptStream(source, destination);
    }
    if (!written) {
        throw SettingsFileError("cannot encrypt " + plain_path + " into " + encrypted_path +
                                ": reading or writing failed");
    }
    if (!encrypted.Close()) {
        Fail("cannot write", encrypted_path);
    }
}

bool DecryptSettingsFile(const std::string& encrypted_path, const std::string& plain_path,
                         std::string_view password) {
    struct stat encrypted_info {};
    FileDescriptor encrypted = OpenSource(encrypted_path, encrypted_info);
    // The plain text is the brand's secrets: a new copy is its owner's alone.
    FileDescriptor plain = CreateDestination(plain_path, encrypted_info, 0600);
    bool authentic = false;
    {
        cipher::TEncryption encryption(password, kSettingsBufferSize);
        FileSource source(encrypted.get());
        FileDestination destination(plain.get());
        // Only a regular file has a size that says where the code starts.
        const std::uint64_t size = S_ISREG(encrypted_info.st_mode)
                                       ? static_cast<std::uint64_t>(encrypted_info.st_size)
                                       : 0;
        authentic = encryption.DecryptStream(source, &destination, size);
    }
    const bool closed = plain.Close();
    return authentic && closed;
}

std::optional<std::string> DecryptSettingsText(const std::string& encrypted_path,
                                               std::string_view password) {
    struct stat info {};
    FileDescriptor encrypted = OpenSource(encrypted_path, info);
    const auto size = static_cast<std::uint64_t>(info.st_size);
    if (size > kMaxSettingsFileSize) {
        throw SettingsFileError("too large for a settings file: " + encrypted_path);
    }
    std::string text;
    text.reserve(static_cast<std::size_t>(size));
    bool authentic = false;
    {
        cipher::TEncryption encryption(password, kSettingsBufferSize);
        FileSource source(encrypted.get());
        StringDestination destination(text);
        authentic = encryption.DecryptStream(source, &destination, size);
    }
    if (!authentic) {
        Wipe(text);
        return std::nullopt;
    }
    return text;
}

void ReplaceSettingsFile(const std::string& encrypted_path, std::string_view text,
                         std::string_view password) {
    mode_t mode = 0644;
    struct stat existing {};
    if (::stat(encrypted_path.c_str(), &existing) == 0) {
        mode = existing.st_mode & 07777;
    }
    std::string temporary = encrypted_path + ".XXXXXX";
    FileDescriptor file(::mkstemp(temporary.data()));
    if (file.get() < 0) {
        Fail("cannot create a file beside", encrypted_path);
    }
    struct Remover {
        const std::string& path;
        bool armed = true;
        ~Remover() {
            if (armed) {
                ::unlink(path.c_str());
            }
        }
    } remover{temporary};
    bool written = false;
    {
        cipher::TEncryption encryption(password, kSettingsBufferSize);
        StringSource source(text);
        FileDestination destination(file.get());
        written = encryption.EncryptStream(source, destination);
    }
    if (!written) {
        Fail("cannot write", temporary);
    }
    if (::fchmod(file.get(), mode) != 0 || ::fsync(file.get()) != 0) {
        Fail("cannot write", temporary);
    }
    if (!file.Close()) {
        Fail("cannot write", temporary);
    }
    if (::rename(temporary.c_str(), encrypted_path.c_str()) != 0) {
        Fail("cannot replace", encrypted_path);
    }
    remover.armed = false;
}

}  // namespace util

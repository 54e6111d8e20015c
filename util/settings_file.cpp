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
#include "util/file_io.h"
#include "util/scope_guard.h"

namespace util {

namespace {

using Kind = SettingsFileError::Kind;

[[noreturn]] void Fail(Kind kind, const char* what, const std::string& path, int error) {
    throw SettingsFileError(kind, path, error,
                            std::string(what) + " " + path + ": " + std::strerror(error));
}

// Takes errno first, before building the message can disturb it.
[[noreturn]] void Fail(Kind kind, const char* what, const std::string& path) {
    const int error = errno;
    Fail(kind, what, path, error);
}

// Opens with O_NONBLOCK so that a FIFO in place of a settings file cannot
// block the program forever, then switches back to ordinary blocking I/O.
int OpenWithoutWaiting(const std::string& path, int flags, mode_t createMode) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK, createMode);
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
        Fail(Kind::kOpen, "cannot open", path);
    }
    if (::fstat(source.get(), &info) != 0) {
        Fail(Kind::kOpen, "cannot examine", path);
    }
    // A settings file is a regular file: a device or FIFO could deliver
    // bytes without end, and only a regular file has a size that says where
    // the authentication code starts.
    if (!S_ISREG(info.st_mode)) {
        throw SettingsFileError(Kind::kNotRegularFile, path, 0, "not a regular file: " + path);
    }
    return source;
}

// Creates (with createMode, less the umask) or truncates the destination,
// but never the source itself. A truncated file keeps its permission bits.
FileDescriptor CreateDestination(const std::string& path, const struct stat& sourceInfo,
                                 mode_t createMode) {
    struct stat existing {};
    if (::stat(path.c_str(), &existing) == 0 && existing.st_dev == sourceInfo.st_dev &&
        existing.st_ino == sourceInfo.st_ino) {
        throw SettingsFileError(Kind::kSameFile, path, 0,
                                "source and destination are the same file: " + path);
    }
    FileDescriptor destination(OpenWithoutWaiting(path, O_WRONLY | O_CREAT | O_TRUNC, createMode));
    if (destination.get() < 0) {
        Fail(Kind::kCreate, "cannot create", path);
    }
    return destination;
}

class FileSource : public cipher::TSource {
public:
    explicit FileSource(int fd) : fd_(fd) {}
    std::ptrdiff_t read(std::uint8_t* data, std::size_t size) override {
        std::size_t total = 0;
        while (total < size) {
            const ssize_t got = ::read(fd_, data + total, size - total);
            if (got < 0) {
                if (errno == EINTR) {
                    continue;
                }
                error_ = errno;
                return -1;
            }
            if (got == 0) {
                break;
            }
            total += static_cast<std::size_t>(got);
        }
        return static_cast<std::ptrdiff_t>(total);
    }
    // The system's error number of a failed read, 0 when none failed.
    int error() const { return error_; }

private:
    int fd_;
    int error_ = 0;
};

class FileDestination : public cipher::TDestination {
public:
    explicit FileDestination(int fd) : fd_(fd) {}
    bool write(const std::uint8_t* data, std::size_t size) override {
        if (!WriteAll(fd_, std::string_view(reinterpret_cast<const char*>(data), size))) {
            error_ = errno;
            return false;
        }
        return true;
    }
    // The system's error number of a failed write, 0 when none failed.
    int error() const { return error_; }

private:
    int fd_;
    int error_ = 0;
};

class StringSource : public cipher::TSource {
public:
    explicit StringSource(std::string_view text) : text_(text) {}
    std::ptrdiff_t read(std::uint8_t* data, std::size_t size) override {
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
    bool write(const std::uint8_t* data, std::size_t size) override {
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

// Raises the failure of a stream that ended early: the write that failed,
// else the read, with the system's error.
[[noreturn]] void FailStream(const FileSource& source, const std::string& sourcePath,
                             const FileDestination& destination,
                             const std::string& destinationPath) {
    if (destination.error() != 0) {
        Fail(Kind::kWrite, "cannot write", destinationPath, destination.error());
    }
    Fail(Kind::kRead, "cannot read", sourcePath, source.error());
}

}  // namespace

void EncryptSettingsFile(const std::string& plainPath, const std::string& encryptedPath,
                         std::string_view password) {
    struct stat plainInfo {};
    FileDescriptor plain = OpenSource(plainPath, plainInfo);
    FileDescriptor encrypted = CreateDestination(encryptedPath, plainInfo, 0666);
    cipher::TEncryption encryption(password, kSettingsBufferSize);
    FileSource source(plain.get());
    FileDestination destination(encrypted.get());
    if (!encryption.EncryptStream(source, destination)) {
        FailStream(source, plainPath, destination, encryptedPath);
    }
    if (!encrypted.close()) {
        Fail(Kind::kWrite, "cannot write", encryptedPath);
    }
}

bool DecryptSettingsFile(const std::string& encryptedPath, const std::string& plainPath,
                         std::string_view password) {
    struct stat encryptedInfo {};
    FileDescriptor encrypted = OpenSource(encryptedPath, encryptedInfo);
    // The plain text is the brand's secrets: a new copy is its owner's alone.
    FileDescriptor plain = CreateDestination(plainPath, encryptedInfo, 0600);
    cipher::TEncryption encryption(password, kSettingsBufferSize);
    FileSource source(encrypted.get());
    FileDestination destination(plain.get());
    const bool authentic = encryption.DecryptStream(
        source, &destination, static_cast<std::uint64_t>(encryptedInfo.st_size));
    if (source.error() != 0 || destination.error() != 0) {
        FailStream(source, encryptedPath, destination, plainPath);
    }
    if (!plain.close()) {
        Fail(Kind::kWrite, "cannot write", plainPath);
    }
    return authentic;
}

std::optional<std::string> DecryptSettingsText(const std::string& encryptedPath,
                                               std::string_view password) {
    struct stat info {};
    FileDescriptor encrypted = OpenSource(encryptedPath, info);
    const auto size = static_cast<std::uint64_t>(info.st_size);
    if (size > kMaxSettingsFileSize) {
        throw SettingsFileError(Kind::kTooLarge, encryptedPath, 0,
                                "too large for a settings file: " + encryptedPath);
    }
    std::string text;
    text.reserve(static_cast<std::size_t>(size));
    bool authentic = false;
    {
        cipher::TEncryption encryption(password, kSettingsBufferSize);
        FileSource source(encrypted.get());
        StringDestination destination(text);
        authentic = encryption.DecryptStream(source, &destination, size);
        if (source.error() != 0) {
            Wipe(text);
            Fail(Kind::kRead, "cannot read", encryptedPath, source.error());
        }
    }
    if (!authentic) {
        Wipe(text);
        return std::nullopt;
    }
    return text;
}

void ReplaceSettingsFile(const std::string& encryptedPath, std::string_view text,
                         std::string_view password) {
    mode_t mode = 0644;
    struct stat existing {};
    if (::stat(encryptedPath.c_str(), &existing) == 0) {
        mode = existing.st_mode & 07777;
    }
    std::string temporary = encryptedPath + ".XXXXXX";
    FileDescriptor file(::mkstemp(temporary.data()));
    if (file.get() < 0) {
        Fail(Kind::kCreate, "cannot create a file beside", encryptedPath);
    }
    ScopeGuard removeTemporary([&temporary] { ::unlink(temporary.c_str()); });
    // Failures name the file the caller asked for: the temporary name means
    // nothing to the user and is gone when the message is read.
    {
        cipher::TEncryption encryption(password, kSettingsBufferSize);
        StringSource source(text);
        FileDestination destination(file.get());
        if (!encryption.EncryptStream(source, destination)) {
            Fail(Kind::kWrite, "cannot write", encryptedPath, destination.error());
        }
    }
    if (::fchmod(file.get(), mode) != 0 || ::fsync(file.get()) != 0) {
        Fail(Kind::kWrite, "cannot write", encryptedPath);
    }
    if (!file.close()) {
        Fail(Kind::kWrite, "cannot write", encryptedPath);
    }
    if (::rename(temporary.c_str(), encryptedPath.c_str()) != 0) {
        Fail(Kind::kReplace, "cannot replace", encryptedPath);
    }
    removeTemporary.dismiss();
}

}  // namespace util

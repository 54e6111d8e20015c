// Reading a style sheet with a bound on its size and compressing it with Qt's
// own routine, so the window's qUncompress accepts it byte for byte.
#include "tools/brand/skin_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <cstdint>
#include <cstring>

#include "util/file_descriptor.h"

namespace brandtool {

namespace {

constexpr std::size_t kReadChunk = 64 * 1024;

[[noreturn]] void Fail(const std::string& what, const std::string& path) {
    throw SkinError(what + " " + path + ": " + std::strerror(errno));
}

std::string TooLarge(const std::string& path) {
    return path + " is larger than 4 MiB; a style sheet is a few KiB";
}

}  // namespace

std::string ReadStyleSheet(const std::string& path) {
    // O_NONBLOCK so that opening a FIFO returns at once and is refused below
    // instead of waiting for a writer.
    const util::FileDescriptor file(
        ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (file.get() < 0) {
        Fail("cannot open", path);
    }
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) {
        Fail("cannot read", path);
    }
    if (!S_ISREG(info.st_mode)) {
        throw SkinError("not a regular file: " + path);
    }
    if (static_cast<std::uint64_t>(info.st_size) > kMaxStyleSheetSize) {
        throw SkinError(TooLarge(path));
    }
    // The file may grow while it is read, so the bound holds for the bytes
    // actually read as well.
    std::string text;
    text.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[kReadChunk];
    for (;;) {
        const ssize_t got = ::read(file.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            Fail("cannot read", path);
        }
        if (got == 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(got));
        if (text.size() > kMaxStyleSheetSize) {
            throw SkinError(TooLarge(path));
        }
    }
    return text;
}

std::string CompressSkin(std::string_view styleSheet) {
    const QByteArray compressed = qCompress(reinterpret_cast<const uchar*>(styleSheet.data()),
                                            static_cast<qsizetype>(styleSheet.size()));
    if (compressed.isEmpty()) {
        throw SkinError("cannot compress the style sheet");
    }
    return std::string(compressed.constData(), static_cast<std::size_t>(compressed.size()));
}

}  // namespace brandtool

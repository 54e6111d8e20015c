#include "util/line_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "util/file_descriptor.h"

namespace util {

namespace {

// The program's line files are short lists and settings texts of a few
// kilobytes. A file far beyond this is not one of ours, and reading it whole
// would only tie up memory, so it is refused as unreadable.
constexpr std::size_t kMaxLineFileBytes = 16 * 1024 * 1024;

std::runtime_error FileError(const char* what, const std::string& path) {
    return std::runtime_error(std::string(what) + " " + path + ": " + std::strerror(errno));
}

}  // namespace

std::vector<std::string> SplitLines(std::string_view text) {
    if (const auto nul = text.find('\0'); nul != std::string_view::npos) {
        text = text.substr(0, nul);
    }
    std::vector<std::string> lines;
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.emplace_back(text.substr(start, i - start));
            const bool crLf = c == '\r' && i + 1 < text.size() && text[i + 1] == '\n';
            i += crLf ? 2 : 1;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < text.size()) {
        lines.emplace_back(text.substr(start));
    }
    return lines;
}

std::string JoinLinesCrLf(const std::vector<std::string>& lines) {
    std::size_t size = 0;
    for (const auto& line : lines) {
        size += line.size() + 2;
    }
    std::string text;
    text.reserve(size);
    for (const auto& line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

std::vector<std::string> ReadLineFile(const std::string& path) {
    // O_NONBLOCK keeps a FIFO in the file's place from blocking the open
    // until some writer appears; it is refused below like any other file
    // that is not a regular one (a device could deliver bytes without end).
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    const int fd = file.get();
    if (fd < 0) {
        throw FileError("Cannot open file", path);
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        throw FileError("Cannot open file", path);
    }
    if (!S_ISREG(info.st_mode)) {
        errno = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        throw FileError("Not a regular file:", path);
    }
    std::string text;
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw FileError("Cannot read file", path);
        }
        if (got == 0) {
            break;
        }
        if (text.size() + static_cast<std::size_t>(got) > kMaxLineFileBytes) {
            errno = EFBIG;
            throw FileError("File too large", path);
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return SplitLines(text);
}

void WriteLineFile(const std::string& path, const std::vector<std::string>& lines) {
    const std::string text = JoinLinesCrLf(lines);
    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        throw FileError("Cannot create file", path);
    }
    bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    int error = ok ? 0 : errno;
    if (std::fclose(file) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        errno = error;
        throw FileError("Cannot write file", path);
    }
}

}  // namespace util

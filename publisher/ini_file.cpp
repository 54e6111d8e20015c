#include "publisher/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "util/ascii.h"
#include "util/file_io.h"
#include "util/line_file.h"

namespace publisher {
namespace {

// The first limit bytes of a regular file; empty when it cannot be read.
std::string ReadHead(const std::string& path, std::size_t limit) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return {};
    }
    std::string text;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        // A file that fails halfway gives what was read before.
        util::ReadUpTo(fd, limit, text);
    }
    ::close(fd);
    return text;
}

}  // namespace

std::string ReadIniValue(std::string_view text, std::string_view section, std::string_view key) {
    bool inSection = false;
    for (const std::string& rawLine : util::SplitLines(text)) {
        const std::string_view line = util::Trim(rawLine);
        if (line.starts_with('[')) {
            const auto close = line.find(']');
            if (close == std::string_view::npos) {
                continue;
            }
            // Only the first section of a name counts, as with the system's
            // own INI reading.
            if (inSection) {
                return {};
            }
            inSection = util::EqualsNoCase(util::Trim(line.substr(1, close - 1)), section);
            continue;
        }
        const auto equals = line.find('=');
        if (!inSection || equals == std::string_view::npos ||
            !util::EqualsNoCase(util::Trim(line.substr(0, equals)), key)) {
            continue;
        }
        std::string_view value = util::Trim(line.substr(equals + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front()) {
            value = value.substr(1, value.size() - 2);
        }
        return std::string(value);
    }
    return {};
}

std::string ReadIniFile(const std::string& path, std::string_view section, std::string_view key) {
    return ReadIniValue(ReadHead(path, kMaxIniFileBytes), section, key);
}

}  // namespace publisher

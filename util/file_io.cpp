#include "util/file_io.h"

#include <unistd.h>

#include <cerrno>

namespace util {

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool ReadUpTo(int fd, std::size_t limit, std::string& out) {
    out.resize(limit);
    std::size_t got = 0;
    bool ok = true;
    while (got < limit) {
        const ssize_t n = ::read(fd, out.data() + got, limit - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    out.resize(got);
    return ok;
}

}  // namespace util

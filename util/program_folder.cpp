#include "util/program_folder.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace util {

namespace {

// PATH_MAX on Linux; a longer executable path cannot be opened by name anyway.
constexpr std::size_t kMaxExePath = 4096;

}  // namespace

std::string ProgramFolder() {
    char buffer[kMaxExePath];
    const ssize_t got = readlink("/proc/self/exe", buffer, sizeof buffer);
    if (got < 0) {
        throw std::runtime_error(std::string("Cannot find the program folder: ") +
                                 std::strerror(errno));
    }
    if (static_cast<std::size_t>(got) >= sizeof buffer) {
        throw std::runtime_error("Cannot find the program folder: path too long");
    }
    std::string path(buffer, static_cast<std::size_t>(got));
    return path.substr(0, path.rfind('/') + 1);
}

}  // namespace util

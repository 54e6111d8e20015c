#include "util/config_folder.h"

#include <cstdlib>

namespace util {

namespace {

bool IsAbsolute(const char* path) {
    return path != nullptr && path[0] == '/';
}

std::string WithSlash(std::string folder) {
    if (folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

}  // namespace

std::string ConfigHome() {
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); IsAbsolute(config)) {
        return WithSlash(config);
    }
    if (const char* home = std::getenv("HOME"); IsAbsolute(home)) {
        return WithSlash(home) + ".config/";
    }
    return "";
}

std::string UserConfigFolder() {
    const std::string home = ConfigHome();
    return home.empty() ? home : home + "zorvane/";
}

}  // namespace util

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

// The base folder `variable` names when it is absolute, else
// $HOME/<fallback>; "" when neither is absolute.
std::string BaseFolder(const char* variable, const char* fallback) {
    if (const char* base = std::getenv(variable); IsAbsolute(base)) {
        return WithSlash(base);
    }
    if (const char* home = std::getenv("HOME"); IsAbsolute(home)) {
        return WithSlash(home) + fallback;
    }
    return "";
}

}  // namespace

std::string ConfigHome() {
    return BaseFolder("XDG_CONFIG_HOME", ".config/");
}

std::string UserConfigFolder() {
    const std::string home = ConfigHome();
    return home.empty() ? home : home + "zorvane/";
}

std::string DataHome() {
    return BaseFolder("XDG_DATA_HOME", ".local/share/");
}

std::string UserDataFolder() {
    const std::string home = DataHome();
    return home.empty() ? home : home + "zorvane/";
}

}  // namespace util

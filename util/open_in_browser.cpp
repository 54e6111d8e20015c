#include "util/open_in_browser.h"

#include <cstdlib>
#include <optional>
#include <string_view>
#include <vector>

#include "util/ascii.h"
#include "util/line_file.h"
#include "util/split_by_char.h"
#include "util/start_program.h"

namespace util {

namespace {

constexpr std::string_view kHttpScheme = "x-scheme-handler/http";

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

// An XDG base directory variable: unset or empty gives the default, and
// relative entries are ignored as the base directory rules demand.
std::vector<std::string> BaseDirs(const char* name, const std::string& fallback) {
    std::string value = Env(name);
    if (value.empty()) {
        value = fallback;
    }
    std::vector<std::string> dirs;
    for (auto& dir : SplitByChar(':', value)) {
        if (!dir.empty() && dir.front() == '/') {
            if (dir.back() != '/') {
                dir += '/';
            }
            dirs.push_back(std::move(dir));
        }
    }
    return dirs;
}

struct XdgDirs {
    std::vector<std::string> config;  // config home first, then the config dirs
    std::vector<std::string> data;    // data home first, then the data dirs
};

XdgDirs FindXdgDirs() {
    const std::string home = Env("HOME");
    XdgDirs dirs;
    dirs.config = BaseDirs("XDG_CONFIG_HOME", home.empty() ? "" : home + "/.config");
    for (auto& dir : BaseDirs("XDG_CONFIG_DIRS", "/etc/xdg")) {
        dirs.config.push_back(std::move(dir));
    }
    dirs.data = BaseDirs("XDG_DATA_HOME", home.empty() ? "" : home + "/.local/share");
    for (auto& dir : BaseDirs("XDG_DATA_DIRS", "/usr/local/share:/usr/share")) {
        dirs.data.push_back(std::move(dir));
    }
    return dirs;
}

std::optional<std::vector<std::string>> TryReadLines(const std::string& path) {
    try {
        return ReadLineFile(path);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// The value of key in [group] of a desktop-entry style file; nullopt when absent.
std::optional<std::string> GroupValue(const std::vector<std::string>& lines, std::string_view group,
                                      std::string_view key) {
    bool inGroup = false;
    for (const auto& line : lines) {
        if (!line.empty() && line.front() == '[') {
            const std::string header(Trim(line));
            inGroup = header.size() == group.size() + 2 && header.back() == ']' &&
                      std::string_view(header).substr(1, group.size()) == group;
            continue;
        }
        if (!inGroup) {
            continue;
        }
        const auto equals = line.find('=');
        if (equals != std::string::npos && Trim(line.substr(0, equals)) == key) {
            return std::string(Trim(std::string_view(line).substr(equals + 1)));
        }
    }
    return std::nullopt;
}

// The program of an Exec value: its first word after the desktop-entry
// escapes (\s, \\, ...) and the quoting rules ("..." with backslash escapes).
std::string ExecProgram(std::string_view exec) {
    std::string unescaped;
    for (std::size_t i = 0; i < exec.size(); ++i) {
        if (exec[i] == '\\' && i + 1 < exec.size()) {
            const char next = exec[++i];
            switch (next) {
                case 's':
                    unescaped += ' ';
                    break;
                case 'n':
                    unescaped += '\n';
                    break;
                case 't':
                    unescaped += '\t';
                    break;
                case 'r':
                    unescaped += '\r';
                    break;
                case '\\':
                    unescaped += '\\';
                    break;
                default:
                    unescaped += '\\';
                    unescaped += next;
            }
        } else {
            unescaped += exec[i];
        }
    }
    std::string program;
    std::size_t i = unescaped.find_first_not_of(" \t");
    if (i == std::string::npos) {
        return {};
    }
    if (unescaped[i] == '"') {
        for (++i; i < unescaped.size() && unescaped[i] != '"'; ++i) {
            if (unescaped[i] == '\\' && i + 1 < unescaped.size()) {
                ++i;
            }
            program += unescaped[i];
        }
        return program;
    }
    for (; i < unescaped.size() && unescaped[i] != ' ' && unescaped[i] != '\t'; ++i) {
        program += unescaped[i];
    }
    return program;
}

// The program of an installed, not hidden desktop entry; empty when the
// entry is missing or names no program.
std::string DesktopEntryProgram(const XdgDirs& dirs, const std::string& id) {
    if (id.empty() || id.find('/') != std::string::npos) {
        return {};
    }
    for (const auto& dir : dirs.data) {
        const auto lines = TryReadLines(dir + "applications/" + id);
        if (!lines) {
            continue;
        }
        if (GroupValue(*lines, "Desktop Entry", "Hidden") == "true") {
            return {};
        }
        return ExecProgram(GroupValue(*lines, "Desktop Entry", "Exec").value_or(""));
    }
    return {};
}

// The first desktop id of a ";"-separated list whose entry names a program.
std::string FirstProgram(const XdgDirs& dirs, const std::string& ids) {
    for (const auto& id : SplitByChar(';', ids)) {
        std::string program = DesktopEntryProgram(dirs, std::string(Trim(id)));
        if (!program.empty()) {
            return program;
        }
    }
    return {};
}

std::vector<std::string> MimeAppsFiles(const XdgDirs& dirs) {
    std::vector<std::string> desktops;
    for (const auto& desktop : SplitByChar(':', Env("XDG_CURRENT_DESKTOP"))) {
        if (!desktop.empty()) {
            desktops.push_back(AsciiLower(desktop));
        }
    }
    std::vector<std::string> files;
    const auto add = [&](const std::string& folder) {
        for (const auto& desktop : desktops) {
            files.push_back(folder + desktop + "-mimeapps.list");
        }
        files.push_back(folder + "mimeapps.list");
    };
    for (const auto& dir : dirs.config) {
        add(dir);
    }
    for (const auto& dir : dirs.data) {
        add(dir + "applications/");
    }
    return files;
}

bool IsControl(char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// A registered name as browsers take it, an international one in UTF-8 or
// already in its ASCII form. A backslash or a blank could make a browser see
// another host than the one the text seems to name.
bool IsHostName(std::string_view host) {
    if (host.empty()) {
        return false;
    }
    for (const char c : host) {
        const auto byte = static_cast<unsigned char>(c);
        const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || IsDigit(c) ||
                             c == '-' || c == '.' || c == '_' || c == '~' || c == '%' ||
                             byte >= 0x80;
        if (!allowed) {
            return false;
        }
    }
    return true;
}

bool IsIpv6Literal(std::string_view host) {
    if (host.size() < 4 || host.front() != '[' || host.back() != ']') {
        return false;
    }
    for (const char c : host.substr(1, host.size() - 2)) {
        if (HexValue(c) < 0 && c != ':' && c != '.') {
            return false;
        }
    }
    return true;
}

// Empty (the scheme's own port) or a number from 1 to 65535.
bool IsPort(std::string_view port) {
    if (port.size() > 5) {
        return false;
    }
    long value = 0;
    for (const char c : port) {
        if (!IsDigit(c)) {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    return port.empty() || (value >= 1 && value <= 65535);
}

bool IsUserInfo(std::string_view userInfo) {
    for (const char c : userInfo) {
        if (c == ' ' || c == '\\' || c == '[' || c == ']') {
            return false;
        }
    }
    return true;
}

}  // namespace

bool IsWebUrl(std::string_view url) {
    if (url.empty() || url.size() > kMaxBrowserUrlBytes || url.back() == ' ') {
        return false;
    }
    for (const char c : url) {
        if (IsControl(c)) {
            return false;
        }
    }
    const auto sep = url.find("://");
    if (sep == std::string_view::npos ||
        !(EqualsNoCase(url.substr(0, sep), "http") || EqualsNoCase(url.substr(0, sep), "https"))) {
        return false;
    }
    std::string_view authority = url.substr(sep + 3);
    authority = authority.substr(0, authority.find_first_of("/?#"));
    if (const auto at = authority.rfind('@'); at != std::string_view::npos) {
        if (!IsUserInfo(authority.substr(0, at))) {
            return false;
        }
        authority.remove_prefix(at + 1);
    }
    std::string_view host = authority;
    const auto colon = authority.rfind(':');
    if (colon != std::string_view::npos && authority.find(']', colon) == std::string_view::npos) {
        if (!IsPort(authority.substr(colon + 1))) {
            return false;
        }
        host = authority.substr(0, colon);
    }
    return IsIpv6Literal(host) || IsHostName(host);
}

std::string FindBrowserProgram() {
    // $BROWSER may list several commands separated by ":"; the first one is
    // the user's choice.
    const auto browsers = SplitByChar(':', Env("BROWSER"));
    if (!browsers.empty()) {
        const std::string command(Trim(browsers.front()));
        const std::string program = command.substr(0, command.find_first_of(" \t"));
        if (!program.empty()) {
            return program;
        }
    }

    const XdgDirs dirs = FindXdgDirs();
    std::vector<std::vector<std::string>> mimeApps;
    for (const auto& file : MimeAppsFiles(dirs)) {
        if (auto lines = TryReadLines(file)) {
            mimeApps.push_back(std::move(*lines));
        }
    }
    for (const auto* group : {"Default Applications", "Added Associations"}) {
        for (const auto& lines : mimeApps) {
            if (const auto ids = GroupValue(lines, group, kHttpScheme)) {
                if (std::string program = FirstProgram(dirs, *ids); !program.empty()) {
                    return program;
                }
            }
        }
    }
    for (const auto& dir : dirs.data) {
        if (const auto lines = TryReadLines(dir + "applications/mimeinfo.cache")) {
            if (const auto ids = GroupValue(*lines, "MIME Cache", kHttpScheme)) {
                if (std::string program = FirstProgram(dirs, *ids); !program.empty()) {
                    return program;
                }
            }
        }
    }
    return {};
}

BrowserStart OpenInBrowser(const std::string& url) {
    // Browsers take an argument that starts with "-" for a switch wherever it
    // stands, and some switches run programs; other schemes open files or run
    // scripts. So the argument list holds nothing or one checked web URL.
    if (!url.empty() && !IsWebUrl(url)) {
        return BrowserStart::Refused;
    }
    const std::string program = FindBrowserProgram();
    if (program.empty()) {
        return BrowserStart::NoBrowser;
    }
    // Whether the browser really started is not ours to report: a registered
    // handler counts as success.
    StartProgram(program, url.empty() ? std::vector<std::string>{} : std::vector{url});
    return BrowserStart::Started;
}

}  // namespace util

#include "publisher/update_check.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <exception>
#include <filesystem>
#include <optional>
#include <system_error>

#include "net/http_error.h"
#include "net/stream.h"
#include "net/url.h"
#include "publisher/ini_file.h"
#include "publisher/publisher_texts.h"
#include "util/ascii.h"
#include "util/program_version.h"
#include "util/scope_guard.h"

namespace publisher {
namespace {

using Kind = PublisherHost::MessageKind;
using Buttons = PublisherHost::MessageButtons;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Whether text is exactly one decimal number of the accepted form.
bool IsDecimalNumber(std::string_view text) {
    std::size_t i = 0;
    const auto digits = [&] {
        const std::size_t start = i;
        while (i < text.size() && IsDigit(text[i])) {
            ++i;
        }
        return i - start;
    };
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        ++i;
    }
    std::size_t mantissa = digits();
    if (i < text.size() && text[i] == '.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0) {
        return false;
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
            ++i;
        }
        if (digits() == 0) {
            return false;
        }
    }
    return i == text.size();
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool SameOrigin(const net::Url& a, const net::Url& b) {
    return a.scheme == b.scheme && util::EqualsNoCase(a.host, b.host) && a.port == b.port;
}

// Whether a file can be written at path. Nothing is left behind and an
// existing file is left as it is: the download itself replaces it, or keeps
// it when the client is busy.
bool CanWriteFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
        ::close(fd);
        ::unlink(path.c_str());
        return true;
    }
    if (errno != EEXIST) {
        return false;
    }
    fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    return true;
}

// The cache folder, made as the XDG rules ask (only its owner may enter),
// with the folders above it; false when it cannot be made.
bool MakeCacheFolder(const std::string& folder) {
    const std::filesystem::path path = std::filesystem::path(folder).parent_path();
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

// Where the descriptor goes: beside the program, unless the program folder
// cannot be written (every installed copy); then the user's cache folder.
// nullopt when neither takes it.
std::optional<std::string> DescriptorPath(PublisherHost& host) {
    const std::string inProgramFolder = host.programFolder() + std::string(kDescriptorName);
    if (CanWriteFile(inProgramFolder)) {
        return inProgramFolder;
    }
    const std::string cache = host.cacheFolder();
    if (cache.empty() || !MakeCacheFolder(cache)) {
        return std::nullopt;
    }
    const std::string inCache = cache + std::string(kDescriptorName);
    if (CanWriteFile(inCache)) {
        return inCache;
    }
    return std::nullopt;
}

// A client failure text as one line of a message: the socket errors carry
// the system's text on a line of their own, and a few kinds say nothing.
std::string OneLineReason(std::string_view text) {
    std::string line;
    for (const char c : text) {
        if (c == '\r') {
            continue;
        }
        line += c == '\n' ? ' ' : c;
    }
    if (line.empty()) {
        return std::string(texts::kUpdateDownloadFailed);
    }
    return line;
}

}  // namespace

float DescriptorVersion(std::string_view text) {
    if (text.size() > kMaxVersionLength) {
        return 0;
    }
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return 0;
    }
    text = text.substr(first, text.find_last_not_of(' ') - first + 1);
    if (!IsDecimalNumber(text)) {
        return 0;
    }
    // from_chars reads a point whatever the locale; it takes no "+".
    if (text.front() == '+') {
        text.remove_prefix(1);
    }
    float value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
        return 0;
    }
    return value;
}

bool IsNewerVersion(std::string_view descriptorVersion) {
    double program = 0;
    std::from_chars(util::ProgramVersion.data(),
                    util::ProgramVersion.data() + util::ProgramVersion.size(), program);
    return program < static_cast<double>(DescriptorVersion(descriptorVersion));
}

bool IsRunnableFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

std::optional<std::string> FindUpdater(const std::string& folder) {
    for (const std::string_view name : {kLinuxUpdaterName, kUpdaterName}) {
        // Anything but a regular file we may run (a folder, a device, a file
        // without execute permission) could not be started: it is as missing.
        if (std::string path = folder + std::string(name); IsRunnableFile(path)) {
            return path;
        }
    }
    return std::nullopt;
}

std::optional<std::string> DownloadToFile(net::HttpClient& http, PublisherHost& host,
                                          const std::string& url, const std::string& path) {
    // Called from a handler nested in a running request, the failure path's
    // Disconnect would end that request too; the old file stays as well.
    if (http.busy()) {
        return net::HttpErrorText(net::HttpErrorKind::Busy);
    }
    // A file that cannot be deleted is truncated by the create below, or
    // the create fails and says why.
    ::unlink(path.c_str());
    net::FileStream file(path);
    host.processEvents();
    // The descriptor decides what the program offers to install, so only the
    // update host itself may serve it: a redirect to any other scheme, host
    // or port is refused before that URL is asked.
    util::ScopeGuard restore([&http, saved = http.OnRedirect] { http.OnRedirect = saved; });
    bool redirectedAway = false;
    try {
        http.OnRedirect = [&http, &redirectedAway,
                           origin = net::ParseUrl(url)](const net::Url& next) {
            if (!SameOrigin(origin, next)) {
                redirectedAway = true;
                http.Disconnect();
            }
        };
        net::BoundedStream bounded(file, kMaxDescriptorBytes, "The download is too large.");
        http.GetToStream(url, bounded);
        file.close();
        http.Disconnect();
        return std::nullopt;
    } catch (const std::exception& error) {
        http.Disconnect();
        file.close();
        ::unlink(path.c_str());
        // The refused redirect reads as a lost connection to the client.
        if (redirectedAway) {
            return std::string(texts::kUpdateRedirectedAway);
        }
        return OneLineReason(error.what());
    }
}

UpdateOutcome CheckForUpdate(net::HttpClient& http, PublisherHost& host, std::string_view baseUrl,
                             bool Silent) {
    const std::string folder = host.programFolder();
    std::optional<std::string> localPath = DescriptorPath(host);
    if (!localPath) {
        // The start-up check is the program's own idea, not the user's: a
        // folder it cannot write is no news to show. Asked for, the check
        // fails on the program folder and says why.
        if (Silent) {
            return UpdateOutcome::NoUpdate;
        }
        localPath = folder + std::string(kDescriptorName);
    }
    const std::string url = std::string(baseUrl) + std::string(kDescriptorName);
    std::optional<std::string> failure = DownloadToFile(http, host, url, *localPath);
    if (!failure && !FileExists(*localPath)) {
        failure = std::string(texts::kUpdateDownloadFailed);
    }
    if (failure) {
        // Saying there is no update would claim what the check never learnt.
        if (!Silent) {
            host.showMessage(Kind::Warning,
                             std::string(texts::kUpdateCheckFailed) + url + ":\n" + *failure,
                             Buttons::Ok);
        }
        return UpdateOutcome::CheckFailed;
    }
    const std::string version = ReadIniFile(*localPath, "APPLICATION", "Version");
    if (!IsNewerVersion(version)) {
        if (!Silent) {
            host.showMessage(Kind::Information, std::string(texts::kNoUpdate), Buttons::Ok);
        }
        return UpdateOutcome::NoUpdate;
    }
    const std::string offer =
        std::string(texts::kUpdateOfferStart) + version + std::string(texts::kUpdateOfferEnd);
    if (!host.showMessage(Kind::Information, offer, Buttons::OkCancel)) {
        return UpdateOutcome::Declined;
    }
    const std::optional<std::string> updater = FindUpdater(folder);
    // A copy without an updater (the plain package has none) still shows
    // the user where the new version is.
    if (!updater) {
        const std::string folderUrl(baseUrl);
        if (host.showMessage(Kind::Question,
                             std::string(texts::kUpdaterMissing) + folderUrl +
                                 std::string(texts::kOpenUpdateFolder),
                             Buttons::YesNo)) {
            host.openInBrowser(folderUrl);
        }
        return UpdateOutcome::UpdaterMissing;
    }
    if (!host.showMessage(Kind::Information, std::string(texts::kUpdateClose), Buttons::OkCancel)) {
        return UpdateOutcome::Declined;
    }
    host.startUpdater(*updater,
                      {std::string(baseUrl), std::string(util::ProgramVersion), std::string("A")});
    return UpdateOutcome::UpdaterStarted;
}

}  // namespace publisher

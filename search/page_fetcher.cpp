#include "search/page_fetcher.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <mutex>
#include <random>
#include <stdexcept>

#include "net/http_client.h"
#include "net/stream.h"

namespace search {
namespace {

constexpr int kTempNameRange = 1000;  // test0.html .. test999.html

// Deletes the page file on every way out; a failed deletion is ignored.
class RemoveOnExit {
public:
    explicit RemoveOnExit(std::string path) : path_(std::move(path)) {}
    ~RemoveOnExit() { std::remove(path_.c_str()); }
    RemoveOnExit(const RemoveOnExit&) = delete;
    RemoveOnExit& operator=(const RemoveOnExit&) = delete;

private:
    std::string path_;
};

void DisconnectQuietly(net::HttpClient& http) {
    try {
        http.Disconnect();
    } catch (const std::exception&) {
        // Disconnecting is cleanup; the caller's own outcome stands.
    }
}

// Reads the downloaded page file whole into a string sized once; the file is
// at most kMaxPageBytes long, since the download was bounded.
std::string ReadPageFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        throw std::runtime_error("Cannot open " + path + ": " + std::strerror(errno));
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || info.st_size < 0 ||
        static_cast<std::uint64_t>(info.st_size) > kMaxPageBytes) {
        ::close(fd);
        throw std::runtime_error("Cannot read " + path);
    }
    std::string bytes(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;  // the file cannot have shrunk; a short read keeps what came
        }
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    bytes.resize(done);
    return bytes;
}

}  // namespace

std::string PageTextFromBytes(std::string_view bytes) {
    constexpr std::size_t npos = std::string_view::npos;
    bytes = bytes.substr(0, bytes.find('\0'));
    std::string text;
    text.reserve(bytes.size() + bytes.size() / 16 + 2);
    // The next CR and the next LF are each looked for with memchr and kept
    // until passed, so the page is crossed once at memchr speed.
    auto next = [&bytes](char c, std::size_t from) { return bytes.find(c, from); };
    std::size_t nextCr = next('\r', 0);
    std::size_t nextLf = next('\n', 0);
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t brk = std::min(nextCr, nextLf);
        if (brk == npos) {
            text.append(bytes.substr(pos));
            text.append("\r\n");
            break;
        }
        text.append(bytes.substr(pos, brk - pos));
        text.append("\r\n");
        pos = brk +
              ((bytes[brk] == '\r' && brk + 1 < bytes.size() && bytes[brk + 1] == '\n') ? 2 : 1);
        if (nextCr != npos && nextCr < pos) {
            nextCr = next('\r', pos);
        }
        if (nextLf != npos && nextLf < pos) {
            nextLf = next('\n', pos);
        }
    }
    return text;
}

std::string TempPageFileName(const std::string& folder) {
    static std::mutex lock;
    static std::minstd_rand generator{std::random_device{}()};
    std::uniform_int_distribution<int> pick(0, kTempNameRange - 1);
    std::lock_guard<std::mutex> guard(lock);
    return folder + "test" + std::to_string(pick(generator)) + ".html";
}

bool FetchPage(SearchContext& ctx, const std::string& url, PageBuffer& page) {
    SearchHost& host = ctx.host;
    net::HttpClient& http = ctx.http;
    if (host.stopRequested()) {
        return false;
    }
    const std::string path = TempPageFileName(host.programFolder());
    net::FileStream file(path);  // a failure here ends the whole run
    RemoveOnExit removeFile(path);
    bool fileOpen = true;
    bool ok = false;
    try {
        host.setMainStatus("Getting URL: " + url + "...");
        host.setGaugeValue(0);
        http.Request.Pragma = "no-cache";
        http.Request.CacheControl = "no-cache";
        net::BoundedStream bounded(file, kMaxPageBytes, "Result page larger than the page limit");
        http.GetToStream(url, bounded);
        fileOpen = false;
        file.close();
        http.Disconnect();
        if (host.stopRequested()) {
            host.setMainStatus("Process aborted by user.");
        } else {
            page.assign(PageTextFromBytes(ReadPageFile(path)));
            host.setMainStatus("Process completed sucessfull!");
            ok = true;
        }
    } catch (const std::exception&) {
        DisconnectQuietly(http);
        if (fileOpen) {
            try {
                file.close();
            } catch (const std::exception&) {
                // The file goes away below in any case.
            }
        }
        host.setMainStatus(host.stopRequested()
                               ? "Proccess aborted by user."
                               : "Connection error, check if you are connected and url exists.");
        host.processEvents();
        ok = false;
    }
    return ok;
}

}  // namespace search

// zorvane-demo-engine: a search engine on 127.0.0.1 that answers every
// keyword with deterministic result pages in the markup of the engines the
// harvester knows, so that it can be tried, tested and measured offline; or,
// with --page, answers every request with one saved page, so that an engine
// profile can be tried against a page kept from the real engine.

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <system_error>

#include "tools/demo_engine/demo_pages.h"
#include "tools/demo_engine/server_program.h"

namespace {

// A saved result page is well under a megabyte; a file far beyond that is
// not one, and every reply holds the whole of it.
constexpr std::uintmax_t kMaxPageFileBytes = 64 * 1024 * 1024;

void Usage() {
    std::fputs(
        "usage: zorvane-demo-engine --port N [--pages P] [--tls]\n"
        "       zorvane-demo-engine --port N --page FILE [--charset NAME] [--tls]\n"
        "  Serves result pages on http://127.0.0.1:N (N = 0 picks a free port).\n"
        "  P is the page limit (default 10); a request may set its own with &pages=P,\n"
        "  for example through the keyword \"cars&pages=3\": a keyword tail of pages=,\n"
        "  fail= and stall= parameters only; any other \"&\" stays in the keyword.\n"
        "  sites.txt lines: http://google@127.0.0.1:N  http://yahoo@127.0.0.1:N\n"
        "                   http://live@127.0.0.1:N    http://altavista@127.0.0.1:N\n"
        "  --tls serves https://127.0.0.1:N instead, with a certificate from a CA made\n"
        "  at start; the second line printed, ZORVANE_CA_FILE=FILE, names its CA file.\n"
        "  --page answers every GET with the bytes of FILE as text/html, or as\n"
        "  text/html; charset=NAME with --charset.\n",
        stderr);
}

// A charset name goes into a header as it stands, so it may not carry a
// line break, a ";" or a quote into it.
bool IsCharsetName(const std::string& name) {
    constexpr std::size_t kMaxCharsetName = 40;
    if (name.empty() || name.size() > kMaxCharsetName) {
        return false;
    }
    for (char c : name) {
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '-' || c == '_' || c == '.' || c == ':' || c == '+')) {
            return false;
        }
    }
    return true;
}

// The page file's bytes; nothing (with the reason on standard error) for a
// file that is missing, not a regular file, or too large to be a page.
std::optional<std::string> ReadPageFile(const std::string& path) {
    std::error_code error;
    const bool regular = std::filesystem::is_regular_file(path, error);
    const std::uintmax_t size = regular ? std::filesystem::file_size(path, error) : 0;
    if (!regular || error) {
        std::fprintf(stderr, "zorvane-demo-engine: %s: not a readable file\n", path.c_str());
        return std::nullopt;
    }
    if (size > kMaxPageFileBytes) {
        std::fprintf(stderr, "zorvane-demo-engine: %s: larger than %ju MiB\n", path.c_str(),
                     kMaxPageFileBytes / (1024 * 1024));
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad() || bytes.size() > kMaxPageFileBytes) {
        std::fprintf(stderr, "zorvane-demo-engine: %s: cannot be read\n", path.c_str());
        return std::nullopt;
    }
    return bytes;
}

bool ParseInt(const char* text, long long min, long long max, long long& out) {
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < min || v > max) {
        return false;
    }
    out = v;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::uint16_t port = 0;
    bool portGiven = false;
    long long pages = demo::kDefaultPageLimit;
    bool tls = false;
    const char* pageFile = nullptr;
    const char* charset = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--tls") {
            tls = true;
        } else if (arg == "--port" && i + 1 < argc) {
            if (!demo::ParsePort(argv[++i], port)) {
                Usage();
                return 2;
            }
            portGiven = true;
        } else if (arg == "--page" && i + 1 < argc) {
            pageFile = argv[++i];
        } else if (arg == "--charset" && i + 1 < argc && IsCharsetName(argv[i + 1])) {
            charset = argv[++i];
        } else if (arg == "--pages" && i + 1 < argc) {
            if (!ParseInt(argv[++i], 1, demo::kMaxPageLimit, pages)) {
                Usage();
                return 2;
            }
        } else {
            Usage();
            return 2;
        }
    }
    if (!portGiven || (charset != nullptr && pageFile == nullptr)) {
        Usage();
        return 2;
    }
    if (pageFile != nullptr) {
        std::optional<std::string> page = ReadPageFile(pageFile);
        if (!page) {
            return 2;
        }
        const std::string contentType =
            charset != nullptr ? "text/html; charset=" + std::string(charset) : "text/html";
        return demo::ServeUntilSignalled(
            "zorvane-demo-engine",
            [page = std::move(*page), contentType](const demo::HttpRequest& request) {
                if (request.method != "GET") {
                    return demo::HttpReply{405, "Method Not Allowed", "text/plain",
                                           "Only GET is served here.\n"};
                }
                return demo::HttpReply{200, "OK", contentType, page};
            },
            port, tls);
    }
    return demo::ServeUntilSignalled(
        "zorvane-demo-engine",
        [pages](const demo::HttpRequest& request) { return demo::DemoReply(request, pages); }, port,
        tls);
}

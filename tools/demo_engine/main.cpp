// zorvane-demo-engine: a search engine on 127.0.0.1 that answers every
// keyword with deterministic result pages in the markup of the engines the
// harvester knows, so that it can be tried, tested and measured offline; or,
// with --page, answers every request with one saved page, so that an engine
// profile can be tried against a page kept from the real engine.

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>
#include <string>
#include <system_error>

#include "tools/cli/command_line.h"
#include "tools/demo_engine/demo_pages.h"
#include "tools/demo_engine/server_program.h"
#include "util/utc_clock.h"

namespace {

// A saved result page is well under a megabyte; a file far beyond that is
// not one, and every reply holds the whole of it.
constexpr std::uintmax_t kMaxPageFileBytes = 64 * 1024 * 1024;

constexpr const char* kDescription =
    "Serves result pages on http://127.0.0.1:N (--port 0 picks a free port).";

constexpr const char* kFooter =
    "P is the page limit (default 10); a request may set its own with &pages=P, for\n"
    "example through the keyword \"cars&pages=3\": a keyword tail of pages=, fail= and\n"
    "stall= parameters only; any other \"&\" stays in the keyword.\n"
    "sites.txt lines: http://google@127.0.0.1:N  http://yahoo@127.0.0.1:N\n"
    "                 http://live@127.0.0.1:N    http://altavista@127.0.0.1:N\n"
    "--tls serves https://127.0.0.1:N instead, with a certificate from a CA made at\n"
    "start; the second line printed, ZORVANE_CA_FILE=FILE, names its CA file.\n"
    "--shuffle SEED makes each day's lists a reordering of the plain ones (each hit\n"
    "within its block of ten places, about one place in ten a hit of the day), the\n"
    "same for the same SEED and day; the day is ZORVANE_NOW's (e.g.\n"
    "2026-01-02T08:00:00Z, UTC) or today's.\n"
    "--page answers every GET and url-encoded form POST with the bytes of FILE\n"
    "as text/html, or as text/html; charset=NAME with --charset.";

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

// A whole number from min to max in decimal, and nothing after it.
bool ParseInt(const std::string& text, long long min, long long max, long long& out) {
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0' || v < min || v > max) {
        return false;
    }
    out = v;
    return true;
}

// The command line.
struct EngineOptions {
    std::uint16_t port = 0;
    long long pages = demo::kDefaultPageLimit;
    bool tls = false;
    std::string pageFile;
    std::string charset;
    std::optional<std::uint64_t> shuffleSeed;
};

std::optional<int> ParseOptions(int argc, char** argv, EngineOptions& options) {
    CLI::App app(kDescription, "zorvane-demo-engine");
    app.footer(kFooter);
    cli::AddVersionFlag(app);
    // The numbers are read here, in decimal only, as they always were.
    app.add_option_function<std::string>(
           "--port",
           [&options](const std::string& text) {
               if (!demo::ParsePort(text.c_str(), options.port)) {
                   throw CLI::ValidationError("--port", "is a port number, 0 to 65535");
               }
           },
           "the port on 127.0.0.1; 0 picks a free one")
        ->type_name("N")
        ->required();
    app.add_option_function<std::string>(
           "--pages",
           [&options](const std::string& text) {
               if (!ParseInt(text, 1, demo::kMaxPageLimit, options.pages)) {
                   throw CLI::ValidationError("--pages", "is a whole number from 1 to " +
                                                             std::to_string(demo::kMaxPageLimit));
               }
           },
           "the page limit (default 10)")
        ->type_name("P");
    app.add_option_function<std::string>(
           "--shuffle",
           [&options](const std::string& text) {
               long long seed = 0;
               if (!ParseInt(text, 0, std::numeric_limits<long long>::max(), seed)) {
                   throw CLI::ValidationError("--shuffle", "is a whole number from 0 on");
               }
               options.shuffleSeed = static_cast<std::uint64_t>(seed);
           },
           "vary the lists by day")
        ->type_name("SEED");
    app.add_flag("--tls", options.tls, "serve https with a CA made at start");
    CLI::Option* page =
        app.add_option("--page", options.pageFile, "answer every GET and form POST with FILE")
            ->type_name("FILE");
    app.add_option("--charset", options.charset, "the charset named for --page")
        ->type_name("NAME")
        ->needs(page)
        ->check(CLI::Validator(
            [](std::string& name) { return IsCharsetName(name) ? "" : "is not a charset name"; },
            ""));
    return cli::Parse(app, argc, argv);
}

}  // namespace

int main(int argc, char** argv) {
    EngineOptions options;
    if (const std::optional<int> code = ParseOptions(argc, argv, options)) {
        return *code;
    }
    const std::uint16_t port = options.port;
    const bool tls = options.tls;
    const long long pages = options.pages;
    if (!options.pageFile.empty()) {
        std::optional<std::string> page = ReadPageFile(options.pageFile);
        if (!page) {
            return 2;
        }
        const std::string contentType =
            !options.charset.empty() ? "text/html; charset=" + options.charset : "text/html";
        return demo::ServeUntilSignalled(
            "zorvane-demo-engine",
            [page = std::move(*page), contentType](const demo::HttpRequest& request) {
                // A saved page whose next page is a form (DuckDuckGo's) is
                // asked again by posting that form.
                const bool formPost =
                    request.method == "POST" &&
                    request.header("Content-Type").starts_with("application/x-www-form-urlencoded");
                if (request.method != "GET" && !formPost) {
                    return demo::HttpReply{405, "Method Not Allowed", "text/plain",
                                           "Only GET and form posts are served here.\n"};
                }
                return demo::HttpReply{200, "OK", contentType, page};
            },
            port, tls);
    }
    // A ZORVANE_NOW that cannot be read is said before the server starts.
    try {
        util::UtcNow();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zorvane-demo-engine: %s\n", e.what());
        return 2;
    }
    const std::optional<std::uint64_t> seed = options.shuffleSeed;
    return demo::ServeUntilSignalled(
        "zorvane-demo-engine",
        [pages, seed](const demo::HttpRequest& request) {
            std::optional<demo::DemoShuffle> shuffle;
            if (seed) {
                // Read at every request, so that a server left running turns
                // to the next day's lists at midnight.
                constexpr util::UtcSeconds kDay = 86400;
                const util::UtcSeconds now = util::UtcNow();
                shuffle = demo::DemoShuffle{*seed, now / kDay - (now % kDay < 0 ? 1 : 0)};
            }
            return demo::DemoReply(request, pages, shuffle);
        },
        port, tls);
}

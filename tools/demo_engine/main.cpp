// zorvane-demo-engine: a search engine on 127.0.0.1 that answers every
// keyword with deterministic result pages in the markup of the engines the
// harvester knows, so that it can be tried, tested and measured offline.

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/demo_engine/demo_pages.h"
#include "tools/demo_engine/server_program.h"

namespace {

void Usage() {
    std::fputs(
        "usage: zorvane-demo-engine --port N [--pages P] [--tls]\n"
        "  Serves result pages on http://127.0.0.1:N (N = 0 picks a free port).\n"
        "  P is the page limit (default 10); a request may set its own with &pages=P,\n"
        "  for example through the keyword \"cars&pages=3\".\n"
        "  sites.txt lines: http://google@127.0.0.1:N  http://yahoo@127.0.0.1:N\n"
        "                   http://live@127.0.0.1:N    http://altavista@127.0.0.1:N\n"
        "  --tls serves https://127.0.0.1:N instead, with a certificate from a CA made\n"
        "  at start; the second line printed, ZORVANE_CA_FILE=FILE, names its CA file.\n",
        stderr);
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
    if (!portGiven) {
        Usage();
        return 2;
    }
    return demo::ServeUntilSignalled(
        "zorvane-demo-engine",
        [pages](const demo::HttpRequest& request) { return demo::DemoReply(request, pages); }, port,
        tls);
}

// zorvane-demo-engine: a search engine on 127.0.0.1 that answers every
// keyword with deterministic result pages in the markup of the engines the
// harvester knows, so that it can be tried, tested and measured offline.

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "tools/demo_engine/demo_pages.h"
#include "tools/demo_engine/loopback_server.h"

namespace {

std::atomic<bool> g_stop{false};

void OnSignal(int) {
    g_stop = true;
}

void Usage() {
    std::fputs(
        "usage: zorvane-demo-engine --port N [--pages P]\n"
        "  Serves result pages on http://127.0.0.1:N (N = 0 picks a free port).\n"
        "  P is the page limit (default 10); a request may set its own with &pages=P,\n"
        "  for example through the keyword \"cars&pages=3\".\n"
        "  sites.txt lines: http://google@127.0.0.1:N  http://yahoo@127.0.0.1:N\n"
        "                   http://live@127.0.0.1:N    http://altavista@127.0.0.1:N\n",
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
    long long port = -1;
    long long pages = demo::kDefaultPageLimit;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--port" && i + 1 < argc) {
            if (!ParseInt(argv[++i], 0, 65535, port)) {
                Usage();
                return 2;
            }
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
    if (port < 0) {
        Usage();
        return 2;
    }
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    try {
        demo::LoopbackServer server(
            [pages](const demo::HttpRequest& request) { return demo::DemoReply(request, pages); },
            static_cast<std::uint16_t>(port));
        // The first line tells scripts and tests where to find us.
        std::printf("zorvane-demo-engine listening on %s\n", server.baseUrl().c_str());
        std::fflush(stdout);
        server.Serve(g_stop);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zorvane-demo-engine: %s\n", e.what());
        return 1;
    }
    return 0;
}

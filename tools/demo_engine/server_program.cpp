#include "tools/demo_engine/server_program.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>

namespace demo {

namespace {

std::atomic<bool> g_stop{false};

void OnSignal(int) {
    g_stop = true;
}

}  // namespace

bool ParsePort(const char* text, std::uint16_t& port) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < 0 || value > 65535) {
        return false;
    }
    port = static_cast<std::uint16_t>(value);
    return true;
}

int ServeUntilSignalled(const char* name, Handler handler, std::uint16_t port) {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    try {
        LoopbackServer server(std::move(handler), port);
        std::printf("%s listening on %s\n", name, server.baseUrl().c_str());
        std::fflush(stdout);
        server.Serve(g_stop);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", name, e.what());
        return 1;
    }
    return 0;
}

}  // namespace demo

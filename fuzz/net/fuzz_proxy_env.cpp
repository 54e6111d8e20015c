#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "net/http_connection.h"
#include "net/http_error.h"
#include "net/proxy_env.h"

namespace {

std::string part(const std::string& input, int index) {
    std::size_t start = 0;
    for (int i = 0; i < index; ++i) {
        start = input.find('\n', start);
        if (start == std::string::npos) {
            return {};
        }
        ++start;
    }
    return input.substr(start, input.find('\n', start) - start);
}

bool unsafeInAHeader(const std::string& text) {
    return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

}  // namespace

// Line 1: the value of https_proxy (also given to HTTP_PROXY); line 2: no_proxy;
// line 3: the host asked for. A proxy that comes out must be one the client
// can connect to, and nothing of it may end a header line early.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string proxy = part(input, 0);
    const std::string noProxy = part(input, 1);
    const std::string host = part(input, 2);
    const net::ProxySettings settings =
        net::ProxySettings::Read([&](const std::string_view name) -> const char* {
            if (name == "https_proxy" || name == "HTTP_PROXY") {
                return proxy.c_str();
            }
            return name == "no_proxy" ? noProxy.c_str() : nullptr;
        });
    for (const char* scheme : {"http", "https"}) {
        try {
            const auto server = settings.proxyFor(scheme, host);
            if (!server) {
                continue;
            }
            if (server->host.empty() || server->port < 1 || server->port > 65535 ||
                unsafeInAHeader(server->hostPort()) ||
                unsafeInAHeader(net::ProxyAuthorization(*server))) {
                __builtin_trap();
            }
        } catch (const net::HttpError& e) {
            if (e.kind() != net::HttpErrorKind::ProxyInvalid) {
                __builtin_trap();
            }
        }
    }
    return 0;
}

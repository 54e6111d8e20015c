// Redirect Locations against a fixed current URL: whatever the server writes,
// the next request line and Host header carry no raw space or control byte.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "net/http_client.h"
#include "net/url.h"

namespace {

bool clean(const std::string& text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7f) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    static const net::Url current = net::ParseUrl("http://host:8080/a/b/c.php?x=1");
    try {
        const net::Url next = net::ResolveLocation(current, input);
        if (next.requestUri.empty() || next.requestUri.front() != '/' || !clean(next.requestUri) ||
            !clean(next.hostHeader())) {
            __builtin_trap();
        }
        // Without "://" (a backslash reading as "/") the scheme stays http.
        std::string slashed = input;
        std::replace(slashed.begin(), slashed.end(), '\\', '/');
        if (slashed.substr(0, slashed.find('#')).find("://") == std::string::npos &&
            next.scheme != "http") {
            __builtin_trap();
        }
    } catch (const net::HttpError&) {
    }
    return 0;
}

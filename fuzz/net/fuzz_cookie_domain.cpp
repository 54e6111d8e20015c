// Cookie domains: the input is the host that sets a cookie, its Set-Cookie
// value and the host of a later request, one per line. A cookie must never go
// to a host outside its own host or domain.
#include <cstddef>
#include <cstdint>
#include <string>

#include "net/cookie_store.h"

namespace {

std::string lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

std::string part(const std::string& input, std::size_t index) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < index; ++i) {
        const auto end = input.find('\n', start);
        if (end == std::string::npos) {
            return {};
        }
        start = end + 1;
    }
    const auto end = input.find('\n', start);
    return input.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

bool hasControl(const std::string& text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string setter = part(input, 0);
    const std::string target = part(input, 2);
    net::CookieStore store;
    store.now = [] { return std::time_t{1700000000}; };
    try {
        store.TakeCookies({{"Set-Cookie", part(input, 1)}}, setter, true);
    } catch (const net::CookieStore::LimitExceeded&) {
    }
    bool anyMatch = false;
    for (const auto& domain : store.domains()) {
        for (const auto& cookie : domain.cookies) {
            if (hasControl(cookie.name) || hasControl(cookie.value)) {
                __builtin_trap();
            }
            if (!net::DomainMatches(cookie, target)) {
                continue;
            }
            anyMatch = true;
            const std::string host = lower(target);
            std::string bare = lower(cookie.domain);
            if (!cookie.hostOnly && !bare.empty() && bare.front() == '.') {
                bare.erase(0, 1);
            }
            const bool below = !cookie.hostOnly && !net::IsDottedIPv4(host) &&
                               host.size() > bare.size() &&
                               host.compare(host.size() - bare.size(), bare.size(), bare) == 0 &&
                               host[host.size() - bare.size() - 1] == '.';
            if (host != bare && !below) {
                __builtin_trap();
            }
        }
    }
    if (!store.CookieHeaderFor(target, "/", false).empty() && !anyMatch) {
        __builtin_trap();
    }
    return 0;
}

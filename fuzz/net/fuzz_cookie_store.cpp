#include <cstddef>
#include <cstdint>
#include <string>

#include "net/cookie_store.h"

// The first line is the request host, the second the directory path; every
// further line is a Set-Cookie (or, after a line "2", Set-Cookie2) value.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= input.size()) {
        auto end = input.find('\n', start);
        if (end == std::string::npos) {
            end = input.size();
        }
        lines.push_back(input.substr(start, end - start));
        start = end + 1;
    }
    if (lines.size() < 3) {
        return 0;
    }
    net::HeaderList headers;
    const char* name = "Set-Cookie";
    for (std::size_t i = 2; i < lines.size(); ++i) {
        if (lines[i] == "2") {
            name = "Set-Cookie2";
            continue;
        }
        headers.emplace_back(name, lines[i]);
    }
    net::CookieStore store;
    // Over https first, then the same block in the clear, which must not
    // replace what the first one stored as secure.
    for (const bool secure : {true, false}) {
        try {
            store.TakeCookies(headers, lines[0], secure);
        } catch (const net::CookieStore::LimitExceeded&) {
        }
    }
    store.CookieHeaderFor(lines[0], lines[1], false);
    store.CookieHeaderFor(lines[0], lines[1], true);
    std::time_t when = 0;
    net::ParseInternetDate(lines[2], when);
    return 0;
}

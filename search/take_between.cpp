#include "search/take_between.h"

#include <algorithm>
#include <cstring>

namespace search {
namespace {

constexpr char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}
constexpr char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

bool EqualNoCase(const char* a, const char* b, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::size_t FindNoCase(std::string_view hay, std::string_view needle, std::size_t from) {
    constexpr std::size_t npos = std::string_view::npos;
    if (needle.empty()) {
        return from <= hay.size() ? from : npos;
    }
    if (hay.size() < needle.size() || from > hay.size() - needle.size()) {
        return npos;
    }
    // The last place where the needle still fits; candidates are found with
    // memchr on both letter cases of the first byte, so a page is crossed at
    // memchr speed and never copied or lowered as a whole.
    const std::size_t last = hay.size() - needle.size();
    const char lo = AsciiLower(needle[0]);
    const char up = AsciiUpper(needle[0]);
    auto scan = [&](char c, std::size_t at) -> std::size_t {
        if (at > last) {
            return npos;
        }
        const void* hit =
            std::memchr(hay.data() + at, static_cast<unsigned char>(c), last - at + 1);
        return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - hay.data()) : npos;
    };
    std::size_t nextLo = scan(lo, from);
    std::size_t nextUp = lo == up ? nextLo : scan(up, from);
    for (;;) {
        const std::size_t at = std::min(nextLo, nextUp);
        if (at == npos) {
            return npos;
        }
        if (EqualNoCase(hay.data() + at + 1, needle.data() + 1, needle.size() - 1)) {
            return at;
        }
        if (nextLo == at) {
            nextLo = scan(lo, at + 1);
        }
        if (nextUp == at) {
            nextUp = lo == up ? nextLo : scan(up, at + 1);
        }
    }
}

std::string TakeBetween(std::string_view startMarker, std::string_view endMarker,
                        std::size_t offset, std::string& working) {
    const std::size_t start = FindNoCase(working, startMarker);
    if (start == std::string::npos) {
        return {};
    }
    working.erase(0, std::min(working.size(), start + startMarker.size() + offset));
    const std::size_t end = FindNoCase(working, endMarker);
    if (end == std::string::npos) {
        return {};
    }
    std::string cut = working.substr(0, end);
    working.erase(0, std::min(working.size(), end + offset));
    return cut;
}

}  // namespace search

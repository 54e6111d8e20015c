#include "util/take_between.h"

#include <algorithm>
#include <cstring>

#include "util/ascii.h"

namespace util {
namespace {

// How seldom a byte occurs in HTML, higher being rarer, as a guide to which
// byte of a marker to look for first. Letters come last: they need a search
// per letter case.
int Rarity(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
        return 0;
    }
    switch (c) {
        case ' ':
            return 1;
        case '<':
        case '>':
        case '.':
        case ',':
            return 2;
        case '/':
        case '"':
            return 3;
        case '=':
        case '\'':
            return 4;
        case '*':
            return 5;
        default:
            return (c >= '0' && c <= '9') ? 2 : 3;
    }
}

}  // namespace

std::size_t AnchorIndex(std::string_view needle) {
    // A byte that is no letter needs one memchr instead of one per letter
    // case; of those, the one that is rarest in HTML makes memchr stop least
    // often.
    std::size_t anchor = 0;
    int bestRarity = -1;
    for (std::size_t i = 0; i < needle.size(); ++i) {
        const int rarity = Rarity(needle[i]);
        if (rarity > bestRarity) {
            bestRarity = rarity;
            anchor = i;
        }
    }
    return anchor;
}

std::size_t FindNoCase(std::string_view hay, std::string_view needle, std::size_t from) {
    return FindNoCase(hay, needle, from, AnchorIndex(needle));
}

std::size_t FindNoCase(std::string_view hay, std::string_view needle, std::size_t from,
                       std::size_t anchor) {
    constexpr std::size_t npos = std::string_view::npos;
    if (needle.empty()) {
        return from <= hay.size() ? from : npos;
    }
    if (hay.size() < needle.size() || from > hay.size() - needle.size()) {
        return npos;
    }
    const std::size_t last = hay.size() - needle.size();  // last start where it still fits
    // Candidates are found with memchr on the anchor byte of the needle, so a
    // page is crossed at memchr speed and never copied or lowered as a whole.
    const char lo = AsciiLower(needle[anchor]);
    const char up = AsciiUpper(needle[anchor]);
    if (needle.size() == 1 && lo == up) {
        // Most end markers are one byte that is no letter: memchr alone.
        const void* hit =
            std::memchr(hay.data() + from, static_cast<unsigned char>(lo), hay.size() - from);
        return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - hay.data()) : npos;
    }
    // Scans for c as the anchor byte of a start at or after `at`.
    auto scan = [&](char c, std::size_t at) -> std::size_t {
        if (at > last) {
            return npos;
        }
        const void* hit =
            std::memchr(hay.data() + at + anchor, static_cast<unsigned char>(c), last - at + 1);
        return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - hay.data()) - anchor
                   : npos;
    };
    std::size_t nextLo = scan(lo, from);
    std::size_t nextUp = lo == up ? nextLo : scan(up, from);
    for (;;) {
        const std::size_t at = std::min(nextLo, nextUp);
        if (at == npos) {
            return npos;
        }
        if (EqualsNoCase(hay.substr(at, needle.size()), needle)) {
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

}  // namespace util

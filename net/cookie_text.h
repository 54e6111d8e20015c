// Small text helpers shared by the cookie store and the Internet dates its
// cookies carry.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "util/ascii.h"

namespace net::cookie_text {

inline std::string upper(std::string_view text) {
    return util::AsciiUpper(text);
}

// Cookie text may carry line ends, which count as blanks here.
inline std::string trim(std::string_view text) {
    return std::string(util::Trim(text, " \t\r\n"));
}

inline std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const auto at = text.find(separator, start);
        parts.push_back(text.substr(start, at - start));
        if (at == std::string::npos) {
            return parts;
        }
        start = at + 1;
    }
}

// One to four decimal digits: a part of a date or of a dotted address.
inline bool allDigits(const std::string& text) {
    return !text.empty() && text.size() <= 4 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace net::cookie_text

// Letter case, blanks and hex digits the way protocols and file formats mean
// them: ASCII only, whatever the locale, so that a header name, a cookie
// domain or an INI key compares the same on every machine.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace util {

constexpr char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

inline std::string AsciiLower(std::string_view text) {
    std::string lowered(text);
    for (char& c : lowered) {
        c = AsciiLower(c);
    }
    return lowered;
}

inline std::string AsciiUpper(std::string_view text) {
    std::string raised(text);
    for (char& c : raised) {
        c = AsciiUpper(c);
    }
    return raised;
}

constexpr bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

// The text without the leading and trailing bytes that are in set.
constexpr std::string_view Trim(std::string_view text, std::string_view set = " \t") {
    const std::size_t first = text.find_first_not_of(set);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(set) - first + 1);
}

// 0 to 15 for a hex digit of either case, -1 for any other byte.
constexpr int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

}  // namespace util

// Small text helpers shared by the cookie store and the Internet dates its
#include "util/ascii.h"
// cookies carry.
#include "util/ascii.h"
#pragma once
#include "util/ascii.h"

#include <algorithm>
#include <string>
#include <vector>
#include "util/ascii.h"

#include "util/ascii.h"
namespace net::cookie_text {
#include "util/ascii.h"

#include "util/ascii.h"
inline std::string upper(std::string_view text) {
#include "util/ascii.h"
    return util::AsciiUpper(text);
#include "util/ascii.h"
}
#include "util/ascii.h"

#include "util/ascii.h"
// Cookie text may carry line ends, which count as blanks here.
#include "util/ascii.h"
inline std::string trim(std::string_view text) {
#include "util/ascii.h"
    return std::string(util::Trim(text, " \t\r\n"));
#include "util/ascii.h"
}
#include "util/ascii.h"

#include "util/ascii.h"
inline std::vector<std::string> split(const std::string& text, char separator) {
#include "util/ascii.h"
    std::vector<std::string> parts;
#include "util/ascii.h"
    std::size_t start = 0;
#include "util/ascii.h"
    for (;;) {
#include "util/ascii.h"
        const auto at = text.find(separator, start);
#include "util/ascii.h"
        parts.push_back(text.substr(start, at - start));
#include "util/ascii.h"
        if (at == std::string::npos) {
#include "util/ascii.h"
            return parts;
#include "util/ascii.h"
        }
#include "util/ascii.h"
        start = at + 1;
#include "util/ascii.h"
    }
#include "util/ascii.h"
}
#include "util/ascii.h"

#include "util/ascii.h"
// One to four decimal digits: a part of a date or of a dotted address.
#include "util/ascii.h"
inline bool allDigits(const std::string& text) {
#include "util/ascii.h"
    return !text.empty() && text.size() <= 4 &&
#include "util/ascii.h"
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
#include "util/ascii.h"
}
#include "util/ascii.h"

#include "util/ascii.h"
}  // namespace net::cookie_text
#include "util/ascii.h"

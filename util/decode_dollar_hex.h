#pragma once

#include <string>
#include <string_view>

namespace util {

// Turns every "$" followed by two hexadecimal digits into the byte they name
// (one digit is enough at the very end of the text). Any malformed escape
// makes the whole result empty: the news server sends a literal "$" as "$24".
std::string DecodeDollarHex(std::string_view text);

}  // namespace util

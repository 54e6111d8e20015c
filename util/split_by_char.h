#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace util {

// Cuts text into pieces at every byte equal to separator. Consecutive
// separators give empty pieces and a leading separator an empty first piece,
// but a trailing separator gives no empty last piece, so "a^" is just "a".
// The comparison is by byte, so 0xAF splits undecoded 8-bit text safely.
std::vector<std::string> SplitByChar(char separator, std::string_view text);

}  // namespace util

#pragma once

// A small reader of INI texts, for the update descriptor: just what the
// descriptor needs, with no write side and no caching.

#include <cstddef>
#include <string>
#include <string_view>

namespace publisher {

// A descriptor is a few lines; anything beyond this is not read.
inline constexpr std::size_t kMaxIniFileBytes = 1024 * 1024;

// The value of key in section: the first "[section]" line (names compared
// without regard to ASCII case, blanks around them ignored), then the first
// line of that section whose name before its first "=" matches. The value is
// the text after that "=" with blanks and tabs trimmed and one pair of
// enclosing double or single quotes removed. Empty when anything is missing.
std::string ReadIniValue(std::string_view text, std::string_view section, std::string_view key);

// The same for a file; a missing, unreadable or non-regular file gives the
// empty text, and only its first kMaxIniFileBytes are read.
std::string ReadIniFile(const std::string& path, std::string_view section, std::string_view key);

}  // namespace publisher

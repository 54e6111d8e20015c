// The character set a result page is written in, and its text made into
// UTF-8, so that the anchor clean-up, which keeps UTF-8, sees every page alike.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace search {

// How far into a page a <meta> naming its charset is looked for: browsers
// look in the first 1024 bytes; 4096 also finds the pages whose head starts
// with long comments or scripts, and keeps the look cheap on a 16 MiB page.
inline constexpr std::size_t kCharsetScanBytes = 4096;

// The longest charset label taken; the longest registered name has 45
// characters, so anything longer is no label.
inline constexpr std::size_t kMaxCharsetLabel = 64;

// The charset the page declares, as written (trimmed, quotes removed): a
// UTF-8 byte order mark wins ("UTF-8"; a UTF-16 one gives "UTF-16LE" or
// "UTF-16BE"), then the charset parameter of the Content-Type header value,
// then <meta charset=...> or <meta http-equiv="Content-Type"
// content="...; charset=..."> in the first kCharsetScanBytes of the page
// (names in any case, values quoted in any way or not at all). "" when none
// declares one; an empty label or one longer than kMaxCharsetLabel counts as none.
std::string DeclaredCharset(std::string_view contentTypeHeader, std::string_view pageBytes);

// bytes converted from charset to UTF-8. Returned unchanged for "", UTF-8,
// US-ASCII and a charset that iconv does not know. ISO-8859-1 and its other
// labels are read as windows-1252, as browsers do. A byte sequence that is
// invalid in the charset becomes U+FFFD and the conversion goes on; the
// result is cut at 4 bytes per input byte (and a few more), which only a
// charset that makes several characters of one byte can reach.
std::string ToUtf8(std::string_view bytes, std::string_view charset);

}  // namespace search

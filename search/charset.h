// The encoding a result page is written in, decided as browsers decide it,
// and its text made into UTF-8, so that the anchor clean-up, which keeps
// UTF-8, sees every page alike.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace search {

// How far into a page a <meta> naming its encoding is looked for: browsers
// look at the first 1024 bytes and no further, and a page that names its
// encoding later is read by them, and so here, as if it named none.
inline constexpr std::size_t kCharsetScanBytes = 1024;

// The page's encoding in its browser spelling (see EncodingForLabel): a
// byte order mark wins ("UTF-8", "UTF-16LE", "UTF-16BE"), then the charset
// parameter of the Content-Type header value if it is a known label, then
// the <meta charset=...> or <meta http-equiv="Content-Type" content="...;
// charset=..."> that the HTML prescan finds in the first kCharsetScanBytes
// (skipping comments and the attributes of other tags; UTF-16 named there is
// taken for UTF-8 and x-user-defined for windows-1252). An unknown label is
// passed over. "" when nothing names a known encoding.
std::string DeclaredCharset(std::string_view contentTypeHeader, std::string_view pageBytes);

// bytes converted from the encoding a label names to UTF-8. Returned
// unchanged for "", UTF-8 and a label no browser knows; "replacement" turns
// a page into one U+FFFD, as it does in a browser. A byte sequence that is
// invalid in the encoding becomes U+FFFD and the conversion goes on; the
// result is cut at 4 bytes per input byte (and a few more), which no
// encoding of the table reaches.
std::string ToUtf8(std::string_view bytes, std::string_view charset);

}  // namespace search

#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "search/page_buffer.h"
#include "search/search_context.h"

namespace search {

// The largest page body accepted. A result page of 100 hits is about 200 KB;
// 16 MiB leaves two orders of magnitude for any real engine while keeping a
// hostile server from filling the memory the page is read into.
inline constexpr std::uint64_t kMaxPageBytes = 16ull * 1024 * 1024;

// "Getting URL: <url>..." with " via proxy host:port" when one carries it:
// the main status text while a page downloads.
std::string GettingUrlText(const net::HttpClient& http, const std::string& url);

// The main status text of a failed download: a certificate or a proxy that
// fails is named, so that the user knows what to fix; every other failure
// keeps the general text.
std::string FetchFailureText(const std::exception& e);

// Closes the connection; a failure to do so changes nothing for the caller.
void DisconnectQuietly(net::HttpClient& http);

// The page text of a downloaded body: the bytes up to the first NUL, split
// into lines at CR LF, CR or LF, joined again with CR LF after every line.
std::string PageTextFromBytes(std::string_view bytes);

// Downloads url into memory (at most kMaxPageBytes) and, on success, replaces
// the page with its text (lines joined with CR LF), in UTF-8 when the response
// or the page declares another charset (DeclaredCharset, ToUtf8). Reports every step in the
// main status text. Returns false, leaving the page untouched, when a stop is
// requested or the download fails.
bool FetchPage(SearchContext& ctx, const std::string& url, PageBuffer& page);

}  // namespace search

#pragma once

#include <cstddef>
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

// A failure's reason as shown after the general text: longer ones are cut.
// A status line of 16 KiB says nothing more than its first few hundred bytes.
inline constexpr std::size_t kMaxFailureReasonBytes = 500;

// Why a download failed, in one line: the failure's own text (the client's
// kind text and detail) with control bytes made blanks, cut after
// kMaxFailureReasonBytes with "...".
std::string FailureReason(const std::exception& e);

// The main status text of a failed download: the general text, then the
// reason (FailureReason), so that a refused connection, a 404, a redirect
// loop, an oversized page or a certificate can be told apart and fixed.
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

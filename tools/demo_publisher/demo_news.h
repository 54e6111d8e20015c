#pragma once

// The demo publisher: a brander's news service (getlastnews.php,
// getnewsdetails.php) and a live-update folder, answering from built-in news
// items so the publisher services can be tried, tested and shown offline.

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tools/demo_engine/loopback_server.h"

namespace demo {

// The one publisher id the service knows; any other answers "INVALIDUSER".
inline constexpr std::string_view kDemoPublisherId = "demo";
// The descriptor served without a folder: a version above the program's.
inline constexpr std::string_view kBuiltInDescriptor =
    "[APPLICATION]\r\nName=Zorvane\r\nVersion=3.0\r\n";
// A descriptor file larger than this is not served (the program refuses far
// less anyway; this only keeps the demo from reading a huge file whole).
inline constexpr std::size_t kMaxServedFile = 16 * 1024 * 1024;

struct NewsItem {
    std::string id;
    std::string title;      // 8-bit text, no "^" and no 0xAF
    std::string published;  // shown as it stands
    std::string html;       // sent "$"-escaped
};

// The items, newest first.
const std::vector<NewsItem>& DemoNewsItems();

// Every byte but ASCII letters, digits and blanks as "$" and two hex digits.
std::string EscapeDollarHex(std::string_view text);

// The fields of a multipart/form-data body in order, values as sent; empty
// when the content type names no boundary.
std::vector<std::pair<std::string, std::string>> ParseFormFields(std::string_view contentType,
                                                                 std::string_view body);

struct PublisherOptions {
    // Where mainappupdate.inf is read from at every request; empty: the
    // built-in descriptor.
    std::string folder;
};

// The whole service. A path segment pair "fail/CODE" anywhere before the
// document answers CODE: "CONNECTIONFAIL", "INVALIDUSER", "INVALIDPRODUCT",
// "INVALIDNEWS" as the reply text, "EMPTY" as an empty reply, "500" as an
// HTTP 500. Otherwise the form decides: an unknown publisher id answers
// "INVALIDUSER", a product type other than BM, BP, BG "INVALIDPRODUCT", a
// "conttype" other than "all" or "lastcode" "CONNECTIONFAIL", an unknown
// news id "INVALIDNEWS". A path ending in "/mainappupdate.inf" gets the
// descriptor; anything else 404.
HttpReply PublisherReply(const HttpRequest& request, const PublisherOptions& options);

}  // namespace demo

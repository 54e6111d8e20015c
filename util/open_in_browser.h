#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace util {

// Linux takes one argument of at most 128 KiB with its closing NUL
// (MAX_ARG_STRLEN); a longer URL could not reach the browser whole.
inline constexpr std::size_t kMaxBrowserUrlBytes = 128 * 1024 - 1;

// Whether url is an absolute http or https URL (the scheme in any letter
// case, then "://") whose authority is an optional user info, a host
// (letters, digits, "-._~%", bytes above 127, or a bracketed IPv6 literal)
// and an optional port from 1 to 65535, followed by a path, query or
// fragment without control bytes, ending in no blank, and at most
// kMaxBrowserUrlBytes long. Such a URL starts with its scheme, so a browser
// cannot read it as one of its switches.
bool IsWebUrl(std::string_view url);

// The program registered as the user's web browser: the first word of
// $BROWSER when it is set, else the program of the Exec line of the XDG
// default handler for http URLs (mimeapps.list defaults, then added
// associations, then mimeinfo.cache, in the XDG search order). Empty when no
// handler is registered. Switches and field codes of the command are dropped.
std::string FindBrowserProgram();

enum class BrowserStart {
    Started,    // a browser is registered; whether it really started is not known
    NoBrowser,  // no browser is registered
    Refused,    // url is neither empty nor a web URL: nothing is started
};

// Starts the browser program on url, the URL as its one argument (none when
// url is empty). Only a web URL (IsWebUrl) ever reaches the browser's
// argument list: file:, javascript: or data: links, and text that a browser
// would take for its own switches ("--renderer-cmd-prefix=..."), are refused.
BrowserStart OpenInBrowser(const std::string& url);

}  // namespace util

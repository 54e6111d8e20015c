// Internet dates: the forms servers write in a cookie's EXPIRES, and the one
// form the cookie store writes itself.
#pragma once

#include <ctime>
#include <string>

namespace net {

// Parses the Internet date forms servers use in EXPIRES (RFC 1123, RFC 850 with
// two-digit years, asctime, and the Netscape "dd-Mon-yyyy" form), in GMT or with
// a numeric ("+0200") or North American ("EST") zone. False when the text is
// none of them.
bool ParseInternetDate(const std::string& text, std::time_t& out);
// "Wdy, dd Mon yyyy hh:mm:ss GMT"
std::string FormatInternetDate(std::time_t when);

}  // namespace net

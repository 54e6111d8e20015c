#pragma once

#include <string>

namespace util {

// The program registered as the user's web browser: the first word of
// $BROWSER when it is set, else the program of the Exec line of the XDG
// default handler for http URLs (mimeapps.list defaults, then added
// associations, then mimeinfo.cache, in the XDG search order). Empty when no
// handler is registered. Switches and field codes of the command are dropped.
std::string FindBrowserProgram();

// Starts the browser program on url, the URL as its one argument (none when
// url is empty). True when a browser is registered, whether or not it could
// be started; false only when none is registered.
bool OpenInBrowser(const std::string& url);

}  // namespace util

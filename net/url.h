#pragma once

#include <string>

namespace net {

// A URL as the client reads it. Nothing is percent-encoded or decoded: callers
// encode their query values themselves, and the request-URI goes out as written.
struct Url {
    std::string scheme;  // lower-cased: "http", "https", anything else fails at request time
    std::string user;    // kept, never sent
    std::string password;
    std::string host;  // as written; brackets of an IPv6 literal included
    int port = 80;
    std::string requestUri;  // text after host and port, without fragment; never empty

    // The Host header: host, plus ":" and the port when it is not the
    // scheme's own (80, or 443 for https).
    std::string hostHeader() const;
    // host without the brackets of an IPv6 literal, for name resolution.
    std::string connectHost() const;
};

// Parses an absolute URL (one holding "://"). A backslash counts as "/", the
// fragment is dropped, a missing port is the scheme's default. Throws HttpError
// for a port that is not a number from 1 to 65535 and for a text without "://".
Url ParseUrl(std::string text);

// The Location of a redirect, read against the URL of the request that got it:
// absolute when it holds "://", another host when it begins with "//",
// otherwise relative to the current scheme, host, port and directory path, with "." and
// ".." segments resolved. Spaces and control bytes come out percent-encoded
// (a space as %20), so neither the request line nor the Host header gets one raw.
Url ResolveLocation(const Url& current, std::string location);

// The directory path of a request-URI: up to and including the last "/" before
// the first "?" (or, without "?", before the first "=").
std::string DirectoryPath(const std::string& requestUri);

}  // namespace net

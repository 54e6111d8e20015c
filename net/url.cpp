#include "net/url.h"

#include <algorithm>
#include <vector>

#include "net/http_error.h"
#include "util/ascii.h"

namespace net {

namespace {

void normalise(std::string& text) {
    std::replace(text.begin(), text.end(), '\\', '/');
    const auto hash = text.find('#');
    if (hash != std::string::npos) {
        text.erase(hash);
    }
}

int defaultPort(const std::string& scheme) {
    return scheme == "https" ? 443 : 80;
}

// "." and ".." segments of the path part (before "?") resolved; ".." never climbs
// above the root.
std::string removeDotSegments(const std::string& uri) {
    const auto query = uri.find('?');
    const std::string path = uri.substr(0, query);
    const std::string rest = query == std::string::npos ? std::string() : uri.substr(query);

    std::vector<std::string> out;
    std::size_t start = 1;  // path begins with "/"
    bool trailingSlash = false;
    while (start <= path.size()) {
        auto slash = path.find('/', start);
        const bool last = slash == std::string::npos;
        if (last) {
            slash = path.size();
        }
        const std::string segment = path.substr(start, slash - start);
        trailingSlash = false;
        if (segment == ".") {
            trailingSlash = last;
        } else if (segment == "..") {
            if (!out.empty()) {
                out.pop_back();
            }
            trailingSlash = last;
        } else {
            out.push_back(segment);
        }
        start = slash + 1;
    }
    std::string result;
    for (const auto& segment : out) {
        result += '/';
        result += segment;
    }
    if (result.empty() || trailingSlash) {
        result += '/';
    }
    return result + rest;
}

// A space or control byte in a Location would end the request-URI early or
// reach the Host header raw; browsers send it percent-encoded, and so do we.
std::string encodeControls(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7f) {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0f];
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

std::string Url::hostHeader() const {
    return port == defaultPort(scheme) ? host : host + ":" + std::to_string(port);
}

std::string Url::connectHost() const {
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        return host.substr(1, host.size() - 2);
    }
    return host;
}

Url ParseUrl(std::string text) {
    normalise(text);
    const auto sep = text.find("://");
    if (sep == std::string::npos) {
        throw HttpError(HttpErrorKind::NotAbsoluteUrl);
    }
    Url url;
    url.scheme = util::AsciiLower(text.substr(0, sep));
    const std::string rest = text.substr(sep + 3);
    const auto authorityEnd = rest.find_first_of("/?");
    std::string authority = rest.substr(0, authorityEnd);
    // An empty request-URI, or one that starts with its query, gets its "/".
    url.requestUri.assign(1, '/');
    if (authorityEnd != std::string::npos) {
        url.requestUri.append(rest, rest[authorityEnd] == '/' ? authorityEnd + 1 : authorityEnd,
                              std::string::npos);
    }

    const auto at = authority.rfind('@');
    if (at != std::string::npos) {
        const std::string userInfo = authority.substr(0, at);
        authority.erase(0, at + 1);
        const auto colon = userInfo.find(':');
        url.user = userInfo.substr(0, colon);
        if (colon != std::string::npos) {
            url.password = userInfo.substr(colon + 1);
        }
    }

    const auto bracket = authority.rfind(']');
    const auto colon = authority.rfind(':');
    if (colon != std::string::npos && (bracket == std::string::npos || colon > bracket)) {
        const std::string portText = authority.substr(colon + 1);
        url.host = authority.substr(0, colon);
        if (portText.empty()) {
            url.port = defaultPort(url.scheme);
        } else {
            long port = 0;
            for (char c : portText) {
                if (c < '0' || c > '9' || port > 65535) {
                    throw HttpError(HttpErrorKind::InvalidPort, portText);
                }
                port = port * 10 + (c - '0');
            }
            if (port < 1 || port > 65535) {
                throw HttpError(HttpErrorKind::InvalidPort, portText);
            }
            url.port = static_cast<int>(port);
        }
    } else {
        url.host = authority;
        url.port = defaultPort(url.scheme);
    }
    return url;
}

Url ResolveLocation(const Url& current, std::string location) {
    normalise(location);
    location = encodeControls(location);
    if (location.find("://") != std::string::npos) {
        return ParseUrl(location);
    }
    // "//host:port/path" keeps only the scheme: it names another host.
    if (location.compare(0, 2, "//") == 0) {
        return ParseUrl(current.scheme + ":" + location);
    }
    Url next = current;
    if (!location.empty() && location.front() == '/') {
        next.requestUri = removeDotSegments(location);
    } else {
        next.requestUri = removeDotSegments(DirectoryPath(current.requestUri) + location);
    }
    return next;
}

std::string DirectoryPath(const std::string& requestUri) {
    auto cut = requestUri.find('?');
    if (cut == std::string::npos) {
        cut = requestUri.find('=');
    }
    const std::string head = requestUri.substr(0, cut);
    const auto slash = head.rfind('/');
    if (slash == std::string::npos) {
        return "/";
    }
    return head.substr(0, slash + 1);
}

}  // namespace net

#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "net/internet_date.h"

namespace net {

// Response header lines as (name, value), continuation lines already joined.
using HeaderList = std::vector<std::pair<std::string, std::string>>;

// The longest Set-Cookie value kept: one full header line. Folded continuation
// lines could make a value as long as a whole header block; browsers already
// drop cookies beyond 4 KiB, so a longer one is dropped here too.
inline constexpr std::size_t kMaxCookieTextBytes = 16384;
// A generous ceiling on the cookies one client keeps: honest sites set a few
// dozen; every cookie costs at most twice kMaxCookieTextBytes (its text and its
// fields), so this caps the store near 16 MiB.
inline constexpr std::size_t kMaxCookiesPerClient = 500;
// Domains stay in the store when their cookies are gone, so a chain of
// redirects over many hosts could grow the list; no honest run comes near this.
inline constexpr std::size_t kMaxCookieDomains = 500;

struct StoredCookie {
    std::string name;
    std::string value;
    std::string path;
    std::string domain;
    // No Domain attribute (or one naming the host's own public suffix): the
    // cookie goes back to exactly the host that set it, never to a subdomain.
    bool hostOnly = false;
    std::string expires;  // as received, or written from MAX-AGE; empty: lives until the end
    bool secure = false;
    std::int64_t maxAge = -1;
    std::string version;
    std::string comment;
    std::string cookieText;
    // Set-Cookie2 only; kept, used by no rule.
    std::string commentUrl;
    bool discard = false;
    std::vector<int> ports;
};

struct CookieDomain {
    std::string domain;
    std::vector<StoredCookie> cookies;  // in the order of first storing
};

// The cookies of one client, in memory only.
class CookieStore {
public:
    // Thrown when a response would push the store beyond its limits. The HTTP
    // client reports it in its own words; what() is for other callers' logs.
    struct LimitExceeded : std::runtime_error {
        LimitExceeded() : std::runtime_error("Cookie store limit exceeded.") {}
    };

    // Takes the Set-Cookie and then the Set-Cookie2 headers of one header block.
    // Over a connection that is not secure (not https), a cookie with the
    // Secure flag is dropped, and so is one that would replace a secure cookie.
    // Throws LimitExceeded (after storing what fits) beyond kMaxCookiesPerClient
    // cookies or kMaxCookieDomains domains.
    void TakeCookies(const HeaderList& headers, const std::string& requestHost,
                     bool secureConnection);
    // The Cookie header value for a request, "" when no cookie applies; a
    // cookie with the Secure flag only when the request is secure. Drops
    // expired cookies first. pace, when set, is called for every stored cookie,
    // so that a caller can keep its window serviced while a large store is read.
    std::string CookieHeaderFor(const std::string& requestHost, const std::string& directoryPath,
                                bool secure, const std::function<void()>& pace = {});

    const std::vector<CookieDomain>& domains() const { return domains_; }
    std::size_t cookieCount() const;

    // The clock; tests move it.
    std::function<std::time_t()> now = [] { return std::time(nullptr); };

private:
    void store(StoredCookie cookie);
    bool replacesSecure(const StoredCookie& cookie) const;
    void dropExpired();

    std::vector<CookieDomain> domains_;
};

// Four decimal parts, each 0 to 255.
bool IsDottedIPv4(const std::string& host);
// Whether a request to host may carry the cookie: a host-only cookie only to
// its own host; a domain cookie to its domain and the names below it, on a dot
// boundary, never to an address. Case is ignored.
bool DomainMatches(const StoredCookie& cookie, const std::string& host);

}  // namespace net

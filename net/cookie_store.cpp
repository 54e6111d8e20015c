// The cookie store: reading Set-Cookie and Set-Cookie2, which domains a cookie
// may claim, expiry, and the Cookie header of the next request.
#include "net/cookie_store.h"

#include <algorithm>
#include <climits>

#include <libpsl.h>

#include "net/cookie_text.h"
#include "util/ascii.h"

namespace net {

namespace {

using cookie_text::allDigits;
using cookie_text::split;
using cookie_text::trim;
using cookie_text::upper;

// The latest moment written for a MAX-AGE: 9999-12-31 23:59:59 UTC keeps the
// date text four-digit and far from time_t overflow whatever the server sends.
constexpr std::time_t kLatestExpiry = 253402300799;

bool equalsNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && upper(a) == upper(b);
}

bool parseDecimal(const std::string& text, std::int64_t& out) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size()) {
        return false;
    }
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        if (value > (INT64_MAX - 9) / 10) {
            return false;
        }
        value = value * 10 + (text[i] - '0');
    }
    out = negative ? -value : value;
    return true;
}

// Attributes in order of appearance, names upper-cased; flags have no value.
struct Attribute {
    std::string name;
    std::string value;
    bool flag;
};

const Attribute* findAttribute(const std::vector<Attribute>& attributes, const std::string& name,
                               bool flag) {
    for (const auto& attribute : attributes) {
        if (attribute.flag == flag && attribute.name == name) {
            return &attribute;
        }
    }
    return nullptr;
}

std::string unquote(const std::string& text) {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        return text.substr(1, text.size() - 2);
    }
    return text;
}

StoredCookie parseCookie(const std::string& headerValue, bool version2, std::time_t now) {
    StoredCookie cookie;
    cookie.cookieText = headerValue;
    const auto items = split(headerValue, ';');
    const std::string first = trim(items[0]);
    const auto eq = first.find('=');
    if (eq != std::string::npos) {
        cookie.name = first.substr(0, eq);
        cookie.value = first.substr(eq + 1);
    }
    std::vector<Attribute> attributes;
    for (std::size_t i = 1; i < items.size(); ++i) {
        const std::string item = trim(items[i]);
        const auto at = item.find('=');
        if (at == std::string::npos) {
            attributes.push_back({upper(item), {}, true});
        } else {
            // Only the item as a whole is trimmed: "path = /" names no PATH attribute.
            attributes.push_back({upper(item.substr(0, at)), item.substr(at + 1), false});
        }
    }
    if (const auto* a = findAttribute(attributes, "PATH", false)) {
        cookie.path = unquote(a->value);
    }
    if (const auto* a = findAttribute(attributes, "EXPIRES", false)) {
        cookie.expires = a->value;
    }
    if (const auto* a = findAttribute(attributes, "DOMAIN", false)) {
        cookie.domain = a->value;
    }
    cookie.hostOnly = cookie.domain.empty();
    cookie.secure = findAttribute(attributes, "SECURE", true) != nullptr;
    if (const auto* a = findAttribute(attributes, "MAX-AGE", false)) {
        std::int64_t maxAge = -1;
        cookie.maxAge = parseDecimal(a->value, maxAge) ? maxAge : -1;
    }
    if (const auto* a = findAttribute(attributes, "VERSION", false)) {
        cookie.version = a->value;
    }
    if (const auto* a = findAttribute(attributes, "COMMENT", false)) {
        cookie.comment = a->value;
    }
    if (version2) {
        if (const auto* a = findAttribute(attributes, "COMMENTURL", false)) {
            cookie.commentUrl = a->value;
        }
        cookie.discard = findAttribute(attributes, "DISCARD", true) != nullptr;
        if (const auto* a = findAttribute(attributes, "PORT", false)) {
            for (const auto& part : split(unquote(a->value), ',')) {
                std::int64_t port = 0;
                if (parseDecimal(trim(part), port) && port > 0 && port <= 65535) {
                    cookie.ports.push_back(static_cast<int>(port));
                }
            }
        }
        if (cookie.ports.empty()) {
            cookie.ports.push_back(80);
        }
    }
    if (findAttribute(attributes, "EXPIRES", false) == nullptr && cookie.maxAge >= 0) {
        const std::time_t when =
            cookie.maxAge > kLatestExpiry - now ? kLatestExpiry : now + cookie.maxAge;
        cookie.expires = FormatInternetDate(when);
    }
    return cookie;
}

// The public suffix list of the system (the newest of its file and the copy
// built into libpsl). Without one every name counts as a public suffix, so only
// host-only cookies are kept.
const psl_ctx_t* publicSuffixes() {
    static const psl_ctx_t* const list = [] {
        const psl_ctx_t* latest = psl_latest(nullptr);
        return latest != nullptr ? latest : psl_builtin();
    }();
    return list;
}

// An address literal has no parent domains: "1.2.3.4" is not below "2.3.4".
bool isAddress(const std::string& host) {
    return IsDottedIPv4(host) || host.find_first_of(":[]") != std::string::npos;
}

std::string withoutLeadingDot(const std::string& domain) {
    return !domain.empty() && domain.front() == '.' ? domain.substr(1) : domain;
}

// A Domain attribute that would reach beyond one site: a public suffix such as
// ".com" or ".co.uk", an address, or text no host name holds.
bool tooWide(StoredCookie& cookie, const std::string& host) {
    const std::string bare = withoutLeadingDot(cookie.domain);
    if (bare.empty()) {
        return true;
    }
    if (isAddress(bare)) {
        cookie.hostOnly = cookie.domain == host;
        return !cookie.hostOnly;
    }
    for (const char c : bare) {
        if (c <= ' ' || c >= 0x7f) {
            return true;
        }
    }
    const std::string lowered = util::AsciiLower(bare);
    if (psl_is_public_suffix(publicSuffixes(), lowered.c_str()) == 0) {
        return false;
    }
    // A host that is itself on the list (a site served at "localhost" or at a
    // bare suffix) may still set a cookie for itself alone.
    if (cookie.domain == host) {
        cookie.hostOnly = true;
        return false;
    }
    return true;
}

bool acceptedFor(StoredCookie& cookie, const std::string& host) {
    if (IsDottedIPv4(host)) {
        return cookie.domain == host;
    }
    if (!cookie.hostOnly && tooWide(cookie, host)) {
        return false;
    }
    const bool leadingDot = !cookie.domain.empty() && cookie.domain.front() == '.';
    if (!leadingDot && !IsDottedIPv4(cookie.domain)) {
        return cookie.domain == host;
    }
    const auto dot = host.find('.');
    return dot != std::string::npos && cookie.domain == host.substr(dot);
}

bool hasControl(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7f;
    });
}

}  // namespace

bool IsDottedIPv4(const std::string& host) {
    const auto parts = split(host, '.');
    if (parts.size() != 4) {
        return false;
    }
    for (const auto& part : parts) {
        if (part.empty() || part.size() > 3 || !allDigits(part) || std::stoi(part) > 255) {
            return false;
        }
    }
    return true;
}

bool DomainMatches(const StoredCookie& cookie, const std::string& host) {
    if (cookie.hostOnly) {
        return equalsNoCase(cookie.domain, host);
    }
    const std::string bare = withoutLeadingDot(cookie.domain);
    if (equalsNoCase(bare, host)) {
        return true;
    }
    if (isAddress(host) || host.size() <= bare.size()) {
        return false;
    }
    const std::size_t at = host.size() - bare.size();
    return host[at - 1] == '.' && equalsNoCase(host.substr(at), bare);
}

std::size_t CookieStore::cookieCount() const {
    std::size_t count = 0;
    for (const auto& domain : domains_) {
        count += domain.cookies.size();
    }
    return count;
}

void CookieStore::TakeCookies(const HeaderList& headers, const std::string& requestHost,
                              bool secureConnection) {
    const std::time_t moment = now();
    for (const bool version2 : {false, true}) {
        const std::string wanted = version2 ? "SET-COOKIE2" : "SET-COOKIE";
        for (const auto& [name, value] : headers) {
            if (upper(name) != wanted || value.size() > kMaxCookieTextBytes) {
                continue;
            }
            StoredCookie cookie = parseCookie(value, version2, moment);
            if (hasControl(cookie.name) || hasControl(cookie.value)) {
                // Sent back, it would end the Cookie line and start a header of the
                // server's choosing.
                continue;
            }
            if (cookie.domain.empty()) {
                cookie.domain = requestHost;
            }
            // A page fetched in the clear must neither plant a secure cookie
            // nor overwrite one that an https page set.
            if (!secureConnection && (cookie.secure || replacesSecure(cookie))) {
                continue;
            }
            if (acceptedFor(cookie, requestHost)) {
                store(std::move(cookie));
            }
        }
    }
}

bool CookieStore::replacesSecure(const StoredCookie& cookie) const {
    for (const auto& domain : domains_) {
        if (!equalsNoCase(domain.domain, cookie.domain)) {
            continue;
        }
        return std::any_of(domain.cookies.begin(), domain.cookies.end(), [&](const auto& c) {
            return c.secure && equalsNoCase(c.name, cookie.name);
        });
    }
    return false;
}

void CookieStore::store(StoredCookie cookie) {
    auto domain = std::find_if(domains_.begin(), domains_.end(), [&](const CookieDomain& d) {
        return equalsNoCase(d.domain, cookie.domain);
    });
    if (domain == domains_.end()) {
        if (domains_.size() >= kMaxCookieDomains) {
            throw LimitExceeded{};
        }
        domains_.push_back({cookie.domain, {}});
        domain = domains_.end() - 1;
    }
    auto stored =
        std::find_if(domain->cookies.begin(), domain->cookies.end(),
                     [&](const StoredCookie& c) { return equalsNoCase(c.name, cookie.name); });
    if (stored != domain->cookies.end()) {
        // Every field follows the newer cookie, its expiry too, so that a server
        // deleting a cookie by setting it again with a past date does delete it.
        *stored = std::move(cookie);
        return;
    }
    if (cookieCount() >= kMaxCookiesPerClient) {
        throw LimitExceeded{};
    }
    domain->cookies.push_back(std::move(cookie));
}

void CookieStore::dropExpired() {
    const std::time_t moment = now();
    for (auto& domain : domains_) {
        auto& cookies = domain.cookies;
        cookies.erase(std::remove_if(cookies.begin(), cookies.end(),
                                     [&](const StoredCookie& c) {
                                         if (c.expires.empty()) {
                                             return false;
                                         }
                                         std::time_t when = 0;
                                         // Whole seconds: a cookie whose moment is this very second
                                         // has gone.
                                         return !ParseInternetDate(c.expires, when) ||
                                                when <= moment;
                                     }),
                      cookies.end());
    }
}

std::string CookieStore::CookieHeaderFor(const std::string& requestHost,
                                         const std::string& directoryPath, bool secure,
                                         const std::function<void()>& pace) {
    dropExpired();
    std::vector<const StoredCookie*> taken;
    for (const auto& domain : domains_) {
        for (auto c = domain.cookies.rbegin(); c != domain.cookies.rend(); ++c) {
            if (pace) {
                pace();
            }
            if (DomainMatches(*c, requestHost) && !c->path.empty() &&
                c->path.size() <= directoryPath.size() &&
                directoryPath.compare(0, c->path.size(), c->path) == 0 && !c->value.empty() &&
                (!c->secure || secure)) {
                taken.push_back(&*c);
            }
        }
    }
    std::stable_sort(taken.begin(), taken.end(), [](const StoredCookie* a, const StoredCookie* b) {
        return upper(a->path) > upper(b->path);
    });
    std::string header;
    for (const auto* cookie : taken) {
        if (!header.empty()) {
            header += "; ";
        }
        header += cookie->name + "=" + cookie->value;
    }
    return header;
}

}  // namespace net

#include "net/cookie_store.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>

#include <libpsl.h>

namespace net {

namespace {

// The latest moment written for a MAX-AGE: 9999-12-31 23:59:59 UTC keeps the
// date text four-digit and far from time_t overflow whatever the server sends.
constexpr std::time_t kLatestExpiry = 253402300799;

std::string upper(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

bool equalsNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && upper(a) == upper(b);
}

std::string trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
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

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const auto at = text.find(separator, start);
        parts.push_back(text.substr(start, at - start));
        if (at == std::string::npos) {
            return parts;
        }
        start = at + 1;
    }
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
    std::string lowered = bare;
    for (char& c : lowered) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
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

int monthIndex(const std::string& text) {
    static const char* const kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                          "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    if (text.size() < 3) {
        return -1;
    }
    const std::string head = upper(text.substr(0, 3));
    for (int i = 0; i < 12; ++i) {
        if (head == kMonths[i]) {
            return i;
        }
    }
    return -1;
}

// The North American zone names of Internet dates, as hours from UTC; 0 for
// any other text.
int namedZoneHours(const std::string& upperName) {
    static const struct {
        const char* name;
        int hours;
    } kZones[] = {{"EST", -5}, {"EDT", -4}, {"CST", -6}, {"CDT", -5},
                  {"MST", -7}, {"MDT", -6}, {"PST", -8}, {"PDT", -7}};
    for (const auto& zone : kZones) {
        if (upperName == zone.name) {
            return zone.hours;
        }
    }
    return 0;
}

bool allDigits(const std::string& text) {
    return !text.empty() && text.size() <= 4 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
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

std::string FormatInternetDate(std::time_t when) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm utc{};
    ::gmtime_r(&when, &utc);
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[utc.tm_wday],
                  utc.tm_mday, kMonths[utc.tm_mon], utc.tm_year + 1900, utc.tm_hour, utc.tm_min,
                  utc.tm_sec);
    return text;
}

bool ParseInternetDate(const std::string& input, std::time_t& out) {
    // A numeric zone ("+0200", "-0500") ends the text after a blank; it is taken
    // off first because the hyphen also separates the parts of "06-Nov-94".
    std::string text = trim(input);
    std::time_t zoneOffset = 0;
    const auto zoneAt = text.find_last_of(" \t");
    if (zoneAt != std::string::npos && zoneAt + 1 < text.size() &&
        (text[zoneAt + 1] == '+' || text[zoneAt + 1] == '-')) {
        const std::string zone = text.substr(zoneAt + 2);
        if (zone.size() != 4 || !allDigits(zone) || std::stoi(zone.substr(0, 2)) > 23 ||
            std::stoi(zone.substr(2)) > 59) {
            return false;
        }
        zoneOffset = (std::stoi(zone.substr(0, 2)) * 60 + std::stoi(zone.substr(2))) * 60;
        if (text[zoneAt + 1] == '-') {
            zoneOffset = -zoneOffset;
        }
        text.erase(zoneAt);
    }
    // Tokens split at blanks, commas and hyphens; the weekday, if any, is ignored.
    std::vector<std::string> tokens;
    std::string token;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == ',' || c == '-') {
            if (!token.empty()) {
                tokens.push_back(token);
                token.clear();
            }
        } else {
            token += c;
        }
    }
    if (!token.empty()) {
        tokens.push_back(token);
    }
    int day = -1, month = -1, year = -1, hour = -1, minute = -1, second = -1;
    for (const auto& t : tokens) {
        if (t.find(':') != std::string::npos) {
            if (hour >= 0) {
                return false;
            }
            const auto parts = split(t, ':');
            if (parts.size() != 3 || !allDigits(parts[0]) || !allDigits(parts[1]) ||
                !allDigits(parts[2])) {
                return false;
            }
            hour = std::stoi(parts[0]);
            minute = std::stoi(parts[1]);
            second = std::stoi(parts[2]);
        } else if (allDigits(t)) {
            if (t.size() <= 2 && day < 0) {
                day = std::stoi(t);
            } else if (year < 0) {
                year = std::stoi(t);
                if (t.size() <= 2) {
                    year += year < 70 ? 2000 : 1900;
                }
            } else {
                return false;
            }
        } else if (month < 0 && monthIndex(t) >= 0 && t.size() <= 9) {
            month = monthIndex(t);
        } else if (upper(t) == "GMT" || upper(t) == "UTC" || upper(t) == "UT" || upper(t) == "Z") {
            continue;
        } else if (const int hours = namedZoneHours(upper(t)); hours != 0) {
            zoneOffset = static_cast<std::time_t>(hours) * 3600;
        } else if (t.size() >= 3 && monthIndex(t) < 0 && day < 0 && month < 0) {
            continue;  // weekday name
        } else {
            return false;
        }
    }
    if (day < 1 || day > 31 || month < 0 || year < 1601 || year > 9999 || hour < 0 || hour > 23 ||
        minute > 59 || second > 60) {
        return false;
    }
    std::tm utc{};
    utc.tm_year = year - 1900;
    utc.tm_mon = month;
    utc.tm_mday = day;
    utc.tm_hour = hour;
    utc.tm_min = minute;
    utc.tm_sec = second;
    out = ::timegm(&utc) - zoneOffset;
    return true;
}

std::size_t CookieStore::cookieCount() const {
    std::size_t count = 0;
    for (const auto& domain : domains_) {
        count += domain.cookies.size();
    }
    return count;
}

void CookieStore::TakeCookies(const HeaderList& headers, const std::string& requestHost) {
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
            if (acceptedFor(cookie, requestHost)) {
                store(std::move(cookie));
            }
        }
    }
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

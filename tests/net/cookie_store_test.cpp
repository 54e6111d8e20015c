#include "net/cookie_store.h"

#include <stdexcept>

#include <gtest/gtest.h>

namespace {

using net::CookieStore;
using net::HeaderList;

constexpr std::time_t kNow = 1700000000;  // 2023-11-14 22:13:20 UTC

struct Received {
    std::string host;
    HeaderList headers;
    bool secure = false;  // came over https
};

struct CookieCase {
    const char* name;
    std::vector<Received> responses;
    std::string requestHost;
    std::string directoryPath;
    std::string header;
    bool secureRequest = false;
};

class CookieStoreRules : public ::testing::TestWithParam<CookieCase> {};

TEST_P(CookieStoreRules, HeaderForTheNextRequest) {
    const CookieCase& c = GetParam();
    CookieStore store;
    store.now = [] { return kNow; };
    for (const auto& response : c.responses) {
        store.TakeCookies(response.headers, response.host, response.secure);
    }
    store.now = [] { return kNow + 1; };
    EXPECT_EQ(store.CookieHeaderFor(c.requestHost, c.directoryPath, c.secureRequest), c.header);
}

Received setCookie(const std::string& host, std::vector<std::string> values,
                   const std::string& name = "Set-Cookie") {
    Received r{host, {}};
    for (auto& value : values) {
        r.headers.emplace_back(name, std::move(value));
    }
    return r;
}

Received overHttps(Received r) {
    r.secure = true;
    return r;
}

INSTANTIATE_TEST_SUITE_P(
    Table, CookieStoreRules,
    ::testing::Values(
        CookieCase{.name = "ParentDomainSentToEveryHostBelow",
                   .responses = {setCookie("a.b.c", {"n=v; DOMAIN=.b.c; PATH=/"})},
                   .requestHost = "x.b.c",
                   .directoryPath = "/any/path/",
                   .header = "n=v"},
        CookieCase{.name = "DomainWithoutDotDropped",
                   .responses = {setCookie("a.b.c", {"n=v; domain=b.c; path=/"})},
                   .requestHost = "b.c",
                   .directoryPath = "/",
                   .header = ""},
        CookieCase{.name = "ParentDomainFromTheParentItselfDropped",
                   .responses = {setCookie("b.c", {"n=v; domain=.b.c; path=/"})},
                   .requestHost = "b.c",
                   .directoryPath = "/",
                   .header = ""},
        CookieCase{.name = "NoDomainMeansTheRequestHost",
                   .responses = {setCookie("www.site.com", {"n=v; path=/"})},
                   .requestHost = "www.site.com",
                   .directoryPath = "/",
                   .header = "n=v"},
        CookieCase{.name = "DomainCaseMatters",
                   .responses = {setCookie("www.site.com", {"n=v; domain=WWW.site.com; path=/"})},
                   .requestHost = "www.site.com",
                   .directoryPath = "/",
                   .header = ""},
        CookieCase{.name = "MatchingIgnoresCase",
                   .responses = {setCookie("www.site.com", {"n=v; path=/"})},
                   .requestHost = "WWW.Site.COM",
                   .directoryPath = "/",
                   .header = "n=v"},
        CookieCase{.name = "NoPathNeverSent",
                   .responses = {setCookie("h.com", {"n=v"})},
                   .requestHost = "h.com",
                   .directoryPath = "/",
                   .header = ""},
        CookieCase{.name = "PathLongerThanTheDirectory",
                   .responses = {setCookie("h.com", {"n=v; path=/s"})},
                   .requestHost = "h.com",
                   .directoryPath = "/",
                   .header = ""},
        CookieCase{.name = "QuotedPath",
                   .responses = {setCookie("h.com", {"n=v; path=\"/\""})},
                   .requestHost = "h.com",
                   .directoryPath = "/x/",
                   .header = "n=v"},
        CookieCase{.name = "ValueKeepsItsEquals",
                   .responses = {setCookie("h.com", {"n=a=b=c; path=/"})},
                   .requestHost = "h.com",
                   .directoryPath = "/",
                   .header = "n=a=b=c"},
        CookieCase{.name = "EmptyValueNeverSent",
                   .responses = {setCookie("h.com", {"n=; path=/", "m=1; path=/"})},
                   .requestHost = "h.com",
                   .directoryPath = "/",
                   .header = "m=1"},
        CookieCase{.name = "SecureFromHttpDropped",
                   .responses = {setCookie("h.com", {"n=v; path=/; secure"})},
                   .requestHost = "h.com",
                   .directoryPath = "/",
                   .header = "",
                   .secureRequest = true},
        CookieCase{
            .name = "SecureFromHttpsSentOverHttps",
            .responses = {overHttps(setCookie("h.com", {"n=v; path=/; secure", "m=1; path=/"}))},
            .requestHost = "h.com",
            .directoryPath = "/",
            .header = "m=1; n=v",
            .secureRequest = true},
        CookieCase{
            .name = "SecureFromHttpsNeverSentInTheClear",
            .responses = {overHttps(setCookie("h.com", {"n=v; path=/; Secure", "m=1; path=/"}))},
            .requestHost = "h.com",
            .directoryPath = "/",
            .header = "m=1"},
        CookieCase{.name = "HttpCannotReplaceASecureCookie",
                   .responses = {overHttps(setCookie("h.com", {"n=v; path=/; secure"})),
                                 setCookie("h.com", {"N=evil; path=/", "m=1; path=/"})},
                   .requestHost = "h.com",
                   .directoryPath = "/",
                   .header = "m=1; n=v",
                   .secureRequest = true},
        CookieCase{.name = "HttpsReplacesItsSecureCookie",
                   .responses = {overHttps(setCookie("h.com", {"n=v; path=/; secure"})),
                                 overHttps(setCookie("h.com", {"n=w; path=/"}))},
                   .requestHost = "h.com",
                   .directoryPath = "/",
                   .header = "n=w"},
        CookieCase{
            .name = "LongerPathFirstThenReverseStoringOrder",
            .responses = {setCookie("h.com", {"r=1; path=/", "a=2; path=/a/", "s=3; path=/"})},
            .requestHost = "h.com",
            .directoryPath = "/a/",
            .header = "a=2; s=3; r=1"},
        CookieCase{.name = "ReplacementKeepsItsPlace",
                   .responses = {setCookie("h.com", {"n=1; path=/", "m=2; path=/"}),
                                 setCookie("h.com", {"N=3; path=/"})},
                   .requestHost = "h.com",
                   .directoryPath = "/",
                   .header = "m=2; N=3"},
        CookieCase{.name = "DomainsInStoreOrder",
                   .responses = {setCookie("www.b.com", {"first=1; path=/"}),
                                 setCookie("www.b.com", {"second=2; domain=.b.com; path=/"})},
                   .requestHost = "www.b.com",
                   .directoryPath = "/",
                   .header = "first=1; second=2"},
        CookieCase{
            .name = "Ipv4HostNeedsItsOwnAddress",
            .responses = {setCookie("10.0.0.1", {"a=1; path=/", "b=2; domain=.0.0.1; path=/"})},
            .requestHost = "10.0.0.1",
            .directoryPath = "/",
            .header = "a=1"},
        CookieCase{.name = "MaxAgeZeroGoneAtTheNextRequest",
                   .responses = {setCookie("h.com", {"n=v; path=/; max-age=0"})},
                   .requestHost = "h.com",
                   .directoryPath = "/",
                   .header = ""},
        CookieCase{.name = "MaxAgeAheadStays",
                   .responses = {setCookie("h.com", {"n=v; path=/; max-age=60"})},
                   .requestHost = "h.com",
                   .directoryPath = "/",
                   .header = "n=v"},
        CookieCase{.name = "HugeMaxAgeStays",
                   .responses = {setCookie("h.com", {"n=v; path=/; max-age=99999999999999999"})},
                   .requestHost = "h.com",
                   .directoryPath = "/",
                   .header = "n=v"},
        CookieCase{.name = "PastExpiresGone",
                   .responses = {setCookie("h.com",
                                           {"n=v; path=/; expires=Sun, 06 Nov 1994 08:49:37 GMT"})},
                   .requestHost = "h.com",
                   .directoryPath = "/",
                   .header = ""},
        CookieCase{
            .name = "FutureExpiresStays",
            .responses = {setCookie("h.com",
                                    {"n=v; path=/; expires=Wednesday, 01-Jan-2070 00:00:00 GMT"})},
            .requestHost = "h.com",
            .directoryPath = "/",
            .header = "n=v"},
        CookieCase{.name = "UnreadableExpiresGone",
                   .responses = {setCookie("h.com", {"n=v; path=/; expires=soon"})},
                   .requestHost = "h.com",
                   .directoryPath = "/",
                   .header = ""},
        // Only the item as a whole is trimmed: "path =" names no PATH attribute, and
        // the value " /" is no prefix of any directory path.
        CookieCase{"BlanksAroundAnAttributeEqualsSignStay",
                   {setCookie("h.com", {"a=1; path =/", "b=2; path= /", "c=3; path=/"})},
                   "h.com",
                   "/",
                   "c=3"},
        CookieCase{.name = "FirstAttributeCounts",
                   .responses = {setCookie("h.com",
                                           {"n=v; path=/; path=/nowhere/; max-age=60; max-age=0"})},
                   .requestHost = "h.com",
                   .directoryPath = "/",
                   .header = "n=v"},
        CookieCase{
            .name = "DeletionByPastDateDeletes",
            .responses = {setCookie("h.com", {"n=v; path=/"}),
                          setCookie("h.com",
                                    {"n=gone; path=/; expires=Thu, 01 Jan 1970 00:00:00 GMT"})},
            .requestHost = "h.com",
            .directoryPath = "/",
            .header = ""},
        CookieCase{.name = "OverlongCookieDropped",
                   .responses = {setCookie(
                       "h.com", {"big=" + std::string(net::kMaxCookieTextBytes, 'v') + "; path=/",
                                 "small=1; path=/"})},
                   .requestHost = "h.com",
                   .directoryPath = "/",
                   .header = "small=1"},
        // Hosts are matched whole, or below a domain on a dot boundary.
        CookieCase{"HostOnlyNotSentToALongerAddress",
                   {setCookie("127.0.0.1", {"n=v; path=/"})},
                   "127.0.0.10",
                   "/",
                   ""},
        CookieCase{.name = "HostOnlyNotSentToASubdomain",
                   .responses = {setCookie("bank.com", {"n=v; path=/"})},
                   .requestHost = "www.bank.com",
                   .directoryPath = "/",
                   .header = ""},
        CookieCase{.name = "HostOnlyNotSentToANameEndingLikeIt",
                   .responses = {setCookie("bank.com", {"n=v; path=/"})},
                   .requestHost = "mybank.com",
                   .directoryPath = "/",
                   .header = ""},
        CookieCase{.name = "HostOnlyNotSentToANameStartingLikeIt",
                   .responses = {setCookie("bank.com", {"n=v; path=/"})},
                   .requestHost = "bank.com.evil.net",
                   .directoryPath = "/",
                   .header = ""},
        CookieCase{.name = "DomainNotSentAcrossADotBoundary",
                   .responses = {setCookie("www.bank.com", {"n=v; domain=.bank.com; path=/"})},
                   .requestHost = "mybank.com",
                   .directoryPath = "/",
                   .header = ""},
        CookieCase{.name = "DomainNotSentToANameStartingLikeIt",
                   .responses = {setCookie("www.bank.com", {"n=v; domain=.bank.com; path=/"})},
                   .requestHost = "bank.com.evil.net",
                   .directoryPath = "/",
                   .header = ""},
        CookieCase{.name = "DomainSentToTheDomainItself",
                   .responses = {setCookie("www.bank.com", {"n=v; domain=.bank.com; path=/"})},
                   .requestHost = "BANK.com",
                   .directoryPath = "/",
                   .header = "n=v"},
        CookieCase{.name = "DomainEqualToTheHostReachesItsSubdomains",
                   .responses = {setCookie("bank.com", {"n=v; domain=bank.com; path=/"})},
                   .requestHost = "a.b.bank.com",
                   .directoryPath = "/",
                   .header = "n=v"},
        // A Domain attribute naming a public suffix or an address is refused.
        CookieCase{"PublicSuffixRefused",
                   {setCookie("google.com", {"n=v; domain=.com; path=/"})},
                   "evil.com",
                   "/",
                   ""},
        CookieCase{.name = "TwoLevelPublicSuffixRefused",
                   .responses = {setCookie("bbc.co.uk", {"n=v; domain=.co.uk; path=/"})},
                   .requestHost = "evil.co.uk",
                   .directoryPath = "/",
                   .header = ""},
        CookieCase{.name = "PrivatePublicSuffixRefused",
                   .responses = {setCookie("me.github.io", {"n=v; domain=.github.io; path=/"})},
                   .requestHost = "you.github.io",
                   .directoryPath = "/",
                   .header = ""},
        CookieCase{.name = "SuffixHostKeepsItsOwnCookie",
                   .responses = {setCookie("localhost", {"n=v; domain=localhost; path=/"})},
                   .requestHost = "localhost",
                   .directoryPath = "/",
                   .header = "n=v"},
        CookieCase{.name = "SuffixHostCookieStaysHostOnly",
                   .responses = {setCookie("localhost", {"n=v; domain=localhost; path=/"})},
                   .requestHost = "evil.localhost",
                   .directoryPath = "/",
                   .header = ""},
        CookieCase{.name = "AddressDomainRefused",
                   .responses = {setCookie("x.1.2.3.4", {"n=v; domain=.1.2.3.4; path=/"})},
                   .requestHost = "1.2.3.4",
                   .directoryPath = "/",
                   .header = ""},
        // A control byte in a name or value would split the Cookie line: dropped.
        CookieCase{"CarriageReturnInValueDropped",
                   {setCookie("h.com", {"n=a\rX-Evil: 1; path=/", "ok=1; path=/"})},
                   "h.com",
                   "/",
                   "ok=1"},
        CookieCase{.name = "LineFeedInValueDropped",
                   .responses = {setCookie("h.com", {"n=a\nb; path=/"})},
                   .requestHost = "h.com",
                   .directoryPath = "/",
                   .header = ""},
        CookieCase{.name = "NulInValueDropped",
                   .responses = {setCookie("h.com", {std::string("n=a\0b; path=/", 13)})},
                   .requestHost = "h.com",
                   .directoryPath = "/",
                   .header = ""},
        CookieCase{.name = "ControlByteInNameDropped",
                   .responses = {setCookie("h.com", {"n\x01m=v; path=/"})},
                   .requestHost = "h.com",
                   .directoryPath = "/",
                   .header = ""},
        CookieCase{.name = "TabInValueDropped",
                   .responses = {setCookie("h.com", {"n=a\tb; path=/"})},
                   .requestHost = "h.com",
                   .directoryPath = "/",
                   .header = ""},
        CookieCase{.name = "DeleteByteInValueDropped",
                   .responses = {setCookie("h.com", {"n=a\x7f; path=/"})},
                   .requestHost = "h.com",
                   .directoryPath = "/",
                   .header = ""},
        CookieCase{
            .name = "SetCookie2AfterSetCookie",
            .responses = {Received{"h.com",
                                   {{"Set-Cookie2", "two=2; Path=/; Port=\"80,8080\"; Discard"},
                                    {"set-cookie", "one=1; path=/"}}}},
            .requestHost = "h.com",
            .directoryPath = "/",
            .header = "two=2; one=1"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CookieStore, KeepsTheFieldsOfTheCookie) {
    CookieStore store;
    store.now = [] { return kNow; };
    store.TakeCookies({{"Set-Cookie2",
                        "n=v; Version=1; Comment=c; CommentURL=http://x/; Discard; "
                        "Port=\"81, 8080\"; Max-Age=10; Path=/p/"}},
                      "h.com", false);
    ASSERT_EQ(store.domains().size(), 1u);
    const auto& cookie = store.domains()[0].cookies.at(0);
    EXPECT_EQ(cookie.domain, "h.com");
    EXPECT_EQ(cookie.path, "/p/");
    EXPECT_EQ(cookie.version, "1");
    EXPECT_EQ(cookie.comment, "c");
    EXPECT_EQ(cookie.commentUrl, "http://x/");
    EXPECT_TRUE(cookie.discard);
    EXPECT_EQ(cookie.ports, (std::vector<int>{81, 8080}));
    EXPECT_EQ(cookie.maxAge, 10);
    EXPECT_EQ(cookie.expires, net::FormatInternetDate(kNow + 10));
}

TEST(CookieStore, EmptyDomainsStayAndTheLimitHolds) {
    CookieStore store;
    store.now = [] { return kNow; };
    store.TakeCookies({{"Set-Cookie", "n=v; path=/; max-age=0"}}, "h.com", false);
    store.CookieHeaderFor("h.com", "/", false);
    EXPECT_EQ(store.domains().size(), 1u);
    EXPECT_EQ(store.cookieCount(), 0u);

    HeaderList many;
    for (std::size_t i = 0; i < net::kMaxCookiesPerClient; ++i) {
        std::string value = "c";
        value += std::to_string(i);
        value += "=v; path=/";
        many.emplace_back("Set-Cookie", value);
    }
    store.TakeCookies(many, "h.com", false);
    EXPECT_EQ(store.cookieCount(), net::kMaxCookiesPerClient);
    // Replacing stays possible at the limit; a new name does not.
    EXPECT_NO_THROW(store.TakeCookies({{"Set-Cookie", "c0=w; path=/"}}, "h.com", false));
    EXPECT_THROW(store.TakeCookies({{"Set-Cookie", "new=v; path=/"}}, "h.com", false),
                 CookieStore::LimitExceeded);
    // Callers that catch std::exception see the limit like any other failure.
    EXPECT_THROW(store.TakeCookies({{"Set-Cookie", "other=v; path=/"}}, "h.com", false),
                 std::runtime_error);
}

struct DateCase {
    const char* text;
    bool ok;
    std::time_t value;
};

TEST(InternetDate, ReadsTheFormsServersUse) {
    const DateCase cases[] = {
        {.text = "Sun, 06 Nov 1994 08:49:37 GMT", .ok = true, .value = 784111777},
        {.text = "Sunday, 06-Nov-94 08:49:37 GMT", .ok = true, .value = 784111777},
        {.text = "Sun Nov  6 08:49:37 1994", .ok = true, .value = 784111777},
        {.text = "Sun, 06-Nov-1994 08:49:37 GMT", .ok = true, .value = 784111777},
        {.text = "Thu, 01 Jan 1970 00:00:00 GMT", .ok = true, .value = 0},
        {.text = "Fri, 31 Dec 9999 23:59:59 GMT", .ok = true, .value = 253402300799},
        {.text = "Sun, 06 Nov 1994 10:49:37 +0200", .ok = true, .value = 784111777},
        {.text = "Sun, 06-Nov-94 03:49:37 -0500", .ok = true, .value = 784111777},
        {.text = "Sun, 06 Nov 1994 00:49:37 PST", .ok = true, .value = 784111777},
        {.text = "Sun, 06 Nov 1994 08:49:37 +02", .ok = false, .value = 0},
        {.text = "Sun, 06 Nov 1994 08:49:37 +0260", .ok = false, .value = 0},
        {.text = "", .ok = false, .value = 0},
        {.text = "tomorrow", .ok = false, .value = 0},
        {.text = "Sun, 32 Nov 1994 08:49:37 GMT", .ok = false, .value = 0},
        {.text = "Sun, 06 Nov 1994 25:49:37 GMT", .ok = false, .value = 0},
        {.text = "Sun, 06 Nov 1994", .ok = false, .value = 0},
        {.text = "06 Nov 1994 08:49:37 1995", .ok = false, .value = 0},
    };
    for (const auto& c : cases) {
        std::time_t value = -1;
        EXPECT_EQ(net::ParseInternetDate(c.text, value), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(value, c.value) << c.text;
        }
    }
    EXPECT_EQ(net::FormatInternetDate(784111777), "Sun, 06 Nov 1994 08:49:37 GMT");
}

TEST(InternetDate, DottedAddresses) {
    EXPECT_TRUE(net::IsDottedIPv4("127.0.0.1"));
    EXPECT_TRUE(net::IsDottedIPv4("255.255.255.255"));
    EXPECT_FALSE(net::IsDottedIPv4("256.1.1.1"));
    EXPECT_FALSE(net::IsDottedIPv4("1.2.3"));
    EXPECT_FALSE(net::IsDottedIPv4("1.2.3.4.5"));
    EXPECT_FALSE(net::IsDottedIPv4("a.b.c.d"));
    EXPECT_FALSE(net::IsDottedIPv4("1..3.4"));
}

}  // namespace

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
        CookieCase{"ParentDomainSentToEveryHostBelow",
                   {setCookie("a.b.c", {"n=v; DOMAIN=.b.c; PATH=/"})},
                   "x.b.c",
                   "/any/path/",
                   "n=v"},
        CookieCase{"DomainWithoutDotDropped",
                   {setCookie("a.b.c", {"n=v; domain=b.c; path=/"})},
                   "b.c",
                   "/",
                   ""},
        CookieCase{"ParentDomainFromTheParentItselfDropped",
                   {setCookie("b.c", {"n=v; domain=.b.c; path=/"})},
                   "b.c",
                   "/",
                   ""},
        CookieCase{"NoDomainMeansTheRequestHost",
                   {setCookie("www.site.com", {"n=v; path=/"})},
                   "www.site.com",
                   "/",
                   "n=v"},
        CookieCase{"DomainCaseMatters",
                   {setCookie("www.site.com", {"n=v; domain=WWW.site.com; path=/"})},
                   "www.site.com",
                   "/",
                   ""},
        CookieCase{"MatchingIgnoresCase",
                   {setCookie("www.site.com", {"n=v; path=/"})},
                   "WWW.Site.COM",
                   "/",
                   "n=v"},
        CookieCase{"NoPathNeverSent", {setCookie("h.com", {"n=v"})}, "h.com", "/", ""},
        CookieCase{
            "PathLongerThanTheDirectory", {setCookie("h.com", {"n=v; path=/s"})}, "h.com", "/", ""},
        CookieCase{"QuotedPath", {setCookie("h.com", {"n=v; path=\"/\""})}, "h.com", "/x/", "n=v"},
        CookieCase{"ValueKeepsItsEquals",
                   {setCookie("h.com", {"n=a=b=c; path=/"})},
                   "h.com",
                   "/",
                   "n=a=b=c"},
        CookieCase{"EmptyValueNeverSent",
                   {setCookie("h.com", {"n=; path=/", "m=1; path=/"})},
                   "h.com",
                   "/",
                   "m=1"},
        CookieCase{"SecureFromHttpDropped",
                   {setCookie("h.com", {"n=v; path=/; secure"})},
                   "h.com",
                   "/",
                   "",
                   true},
        CookieCase{"SecureFromHttpsSentOverHttps",
                   {overHttps(setCookie("h.com", {"n=v; path=/; secure", "m=1; path=/"}))},
                   "h.com",
                   "/",
                   "m=1; n=v",
                   true},
        CookieCase{"SecureFromHttpsNeverSentInTheClear",
                   {overHttps(setCookie("h.com", {"n=v; path=/; Secure", "m=1; path=/"}))},
                   "h.com",
                   "/",
                   "m=1"},
        CookieCase{"HttpCannotReplaceASecureCookie",
                   {overHttps(setCookie("h.com", {"n=v; path=/; secure"})),
                    setCookie("h.com", {"N=evil; path=/", "m=1; path=/"})},
                   "h.com",
                   "/",
                   "m=1; n=v",
                   true},
        CookieCase{"HttpsReplacesItsSecureCookie",
                   {overHttps(setCookie("h.com", {"n=v; path=/; secure"})),
                    overHttps(setCookie("h.com", {"n=w; path=/"}))},
                   "h.com",
                   "/",
                   "n=w"},
        CookieCase{"LongerPathFirstThenReverseStoringOrder",
                   {setCookie("h.com", {"r=1; path=/", "a=2; path=/a/", "s=3; path=/"})},
                   "h.com",
                   "/a/",
                   "a=2; s=3; r=1"},
        CookieCase{"ReplacementKeepsItsPlace",
                   {setCookie("h.com", {"n=1; path=/", "m=2; path=/"}),
                    setCookie("h.com", {"N=3; path=/"})},
                   "h.com",
                   "/",
                   "m=2; N=3"},
        CookieCase{"DomainsInStoreOrder",
                   {setCookie("www.b.com", {"first=1; path=/"}),
                    setCookie("www.b.com", {"second=2; domain=.b.com; path=/"})},
                   "www.b.com",
                   "/",
                   "first=1; second=2"},
        CookieCase{"Ipv4HostNeedsItsOwnAddress",
                   {setCookie("10.0.0.1", {"a=1; path=/", "b=2; domain=.0.0.1; path=/"})},
                   "10.0.0.1",
                   "/",
                   "a=1"},
        CookieCase{"MaxAgeZeroGoneAtTheNextRequest",
                   {setCookie("h.com", {"n=v; path=/; max-age=0"})},
                   "h.com",
                   "/",
                   ""},
        CookieCase{"MaxAgeAheadStays",
                   {setCookie("h.com", {"n=v; path=/; max-age=60"})},
                   "h.com",
                   "/",
                   "n=v"},
        CookieCase{"HugeMaxAgeStays",
                   {setCookie("h.com", {"n=v; path=/; max-age=99999999999999999"})},
                   "h.com",
                   "/",
                   "n=v"},
        CookieCase{"PastExpiresGone",
                   {setCookie("h.com", {"n=v; path=/; expires=Sun, 06 Nov 1994 08:49:37 GMT"})},
                   "h.com",
                   "/",
                   ""},
        CookieCase{
            "FutureExpiresStays",
            {setCookie("h.com", {"n=v; path=/; expires=Wednesday, 01-Jan-2070 00:00:00 GMT"})},
            "h.com",
            "/",
            "n=v"},
        CookieCase{"UnreadableExpiresGone",
                   {setCookie("h.com", {"n=v; path=/; expires=soon"})},
                   "h.com",
                   "/",
                   ""},
        // Only the item as a whole is trimmed: "path =" names no PATH attribute, and
        // the value " /" is no prefix of any directory path.
        CookieCase{"BlanksAroundAnAttributeEqualsSignStay",
                   {setCookie("h.com", {"a=1; path =/", "b=2; path= /", "c=3; path=/"})},
                   "h.com",
                   "/",
                   "c=3"},
        CookieCase{"FirstAttributeCounts",
                   {setCookie("h.com", {"n=v; path=/; path=/nowhere/; max-age=60; max-age=0"})},
                   "h.com",
                   "/",
                   "n=v"},
        CookieCase{"DeletionByPastDateDeletes",
                   {setCookie("h.com", {"n=v; path=/"}),
                    setCookie("h.com", {"n=gone; path=/; expires=Thu, 01 Jan 1970 00:00:00 GMT"})},
                   "h.com",
                   "/",
                   ""},
        CookieCase{
            "OverlongCookieDropped",
            {setCookie("h.com", {"big=" + std::string(net::kMaxCookieTextBytes, 'v') + "; path=/",
                                 "small=1; path=/"})},
            "h.com",
            "/",
            "small=1"},
        // Hosts are matched whole, or below a domain on a dot boundary.
        CookieCase{"HostOnlyNotSentToALongerAddress",
                   {setCookie("127.0.0.1", {"n=v; path=/"})},
                   "127.0.0.10",
                   "/",
                   ""},
        CookieCase{"HostOnlyNotSentToASubdomain",
                   {setCookie("bank.com", {"n=v; path=/"})},
                   "www.bank.com",
                   "/",
                   ""},
        CookieCase{"HostOnlyNotSentToANameEndingLikeIt",
                   {setCookie("bank.com", {"n=v; path=/"})},
                   "mybank.com",
                   "/",
                   ""},
        CookieCase{"HostOnlyNotSentToANameStartingLikeIt",
                   {setCookie("bank.com", {"n=v; path=/"})},
                   "bank.com.evil.net",
                   "/",
                   ""},
        CookieCase{"DomainNotSentAcrossADotBoundary",
                   {setCookie("www.bank.com", {"n=v; domain=.bank.com; path=/"})},
                   "mybank.com",
                   "/",
                   ""},
        CookieCase{"DomainNotSentToANameStartingLikeIt",
                   {setCookie("www.bank.com", {"n=v; domain=.bank.com; path=/"})},
                   "bank.com.evil.net",
                   "/",
                   ""},
        CookieCase{"DomainSentToTheDomainItself",
                   {setCookie("www.bank.com", {"n=v; domain=.bank.com; path=/"})},
                   "BANK.com",
                   "/",
                   "n=v"},
        CookieCase{"DomainEqualToTheHostReachesItsSubdomains",
                   {setCookie("bank.com", {"n=v; domain=bank.com; path=/"})},
                   "a.b.bank.com",
                   "/",
                   "n=v"},
        // A Domain attribute naming a public suffix or an address is refused.
        CookieCase{"PublicSuffixRefused",
                   {setCookie("google.com", {"n=v; domain=.com; path=/"})},
                   "evil.com",
                   "/",
                   ""},
        CookieCase{"TwoLevelPublicSuffixRefused",
                   {setCookie("bbc.co.uk", {"n=v; domain=.co.uk; path=/"})},
                   "evil.co.uk",
                   "/",
                   ""},
        CookieCase{"PrivatePublicSuffixRefused",
                   {setCookie("me.github.io", {"n=v; domain=.github.io; path=/"})},
                   "you.github.io",
                   "/",
                   ""},
        CookieCase{"SuffixHostKeepsItsOwnCookie",
                   {setCookie("localhost", {"n=v; domain=localhost; path=/"})},
                   "localhost",
                   "/",
                   "n=v"},
        CookieCase{"SuffixHostCookieStaysHostOnly",
                   {setCookie("localhost", {"n=v; domain=localhost; path=/"})},
                   "evil.localhost",
                   "/",
                   ""},
        CookieCase{"AddressDomainRefused",
                   {setCookie("x.1.2.3.4", {"n=v; domain=.1.2.3.4; path=/"})},
                   "1.2.3.4",
                   "/",
                   ""},
        // A control byte in a name or value would split the Cookie line: dropped.
        CookieCase{"CarriageReturnInValueDropped",
                   {setCookie("h.com", {"n=a\rX-Evil: 1; path=/", "ok=1; path=/"})},
                   "h.com",
                   "/",
                   "ok=1"},
        CookieCase{
            "LineFeedInValueDropped", {setCookie("h.com", {"n=a\nb; path=/"})}, "h.com", "/", ""},
        CookieCase{"NulInValueDropped",
                   {setCookie("h.com", {std::string("n=a\0b; path=/", 13)})},
                   "h.com",
                   "/",
                   ""},
        CookieCase{"ControlByteInNameDropped",
                   {setCookie("h.com", {"n\x01m=v; path=/"})},
                   "h.com",
                   "/",
                   ""},
        CookieCase{"TabInValueDropped", {setCookie("h.com", {"n=a\tb; path=/"})}, "h.com", "/", ""},
        CookieCase{"DeleteByteInValueDropped",
                   {setCookie("h.com", {"n=a\x7f; path=/"})},
                   "h.com",
                   "/",
                   ""},
        CookieCase{"SetCookie2AfterSetCookie",
                   {Received{"h.com",
                             {{"Set-Cookie2", "two=2; Path=/; Port=\"80,8080\"; Discard"},
                              {"set-cookie", "one=1; path=/"}}}},
                   "h.com",
                   "/",
                   "two=2; one=1"}),
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
        {"Sun, 06 Nov 1994 08:49:37 GMT", true, 784111777},
        {"Sunday, 06-Nov-94 08:49:37 GMT", true, 784111777},
        {"Sun Nov  6 08:49:37 1994", true, 784111777},
        {"Sun, 06-Nov-1994 08:49:37 GMT", true, 784111777},
        {"Thu, 01 Jan 1970 00:00:00 GMT", true, 0},
        {"Fri, 31 Dec 9999 23:59:59 GMT", true, 253402300799},
        {"Sun, 06 Nov 1994 10:49:37 +0200", true, 784111777},
        {"Sun, 06-Nov-94 03:49:37 -0500", true, 784111777},
        {"Sun, 06 Nov 1994 00:49:37 PST", true, 784111777},
        {"Sun, 06 Nov 1994 08:49:37 +02", false, 0},
        {"Sun, 06 Nov 1994 08:49:37 +0260", false, 0},
        {"", false, 0},
        {"tomorrow", false, 0},
        {"Sun, 32 Nov 1994 08:49:37 GMT", false, 0},
        {"Sun, 06 Nov 1994 25:49:37 GMT", false, 0},
        {"Sun, 06 Nov 1994", false, 0},
        {"06 Nov 1994 08:49:37 1995", false, 0},
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

// engines.json: what a profile file gives, every way it is refused and how
// the message points at the fault, and the catalog of built-in, program
// folder and user profiles.
#include "search/profiles/profile_file.h"
#include "search/profiles/profile_catalog.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "search/profiles/xpath_check.h"
#include "tests/support/file_bytes.h"
#include "tests/support/temp_dir.h"

namespace search {
namespace {

using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

// A profile with nothing but the required keys, then `more` (",\"key\": ...").
std::string Profile(const std::string& name, const std::string& more = "") {
    return R"({"name": ")" + name +
           R"(", "path": "/search?q={query}", "hits": "//li", "link": "a/@href",)"
           R"( "title": "a")" +
           more + "}";
}

std::string File(const std::vector<std::string>& profiles) {
    std::string text = R"({"profiles": [)";
    for (std::size_t i = 0; i < profiles.size(); ++i) {
        text += (i > 0 ? ",\n" : "\n") + profiles[i];
    }
    return text + "\n]}\n";
}

std::string ErrorOf(const std::string& text) {
    try {
        ParseProfiles(text, "engines.json");
    } catch (const ProfileFileError& e) {
        return e.what();
    }
    return "";
}

TEST(ParseProfiles, ReadsEveryField) {
    const std::string text = File({R"json({
        "name": "bing", "select": "bing.com",
        "path": "/search?q={query}&first={offset}&count={count}",
        "firstOffset": 1, "offsetStep": 10, "itemsPerPage": 50,
        "headers": {"User-Agent": "Mozilla/5.0", "Accept-Language": "en-US,en;q=0.9", "DNT": ""},
        "hits": "//li[@class='b_algo']", "link": ".//h2/a/@href", "title": ".//h2/a",
        "destination": ".//h2/a/@data-to",
        "snippet": ".//p", "next": "//a[@title='Next page']/@href",
        "displayUrl": ".//cite",
        "unwrap": {"param": "u", "until": "/"},
        "blockedStatuses": [403, 429],
        "blockedPages": [{"reason": "CAPTCHA", "xpath": "//form[@id='captcha']"},
                         {"reason": "consent", "xpath": "boolean(//div[@id='consent'])"}],
        "delayMinMs": 1500, "delayExtraMs": 600000
    })json"});
    const std::vector<ProfileDefinition> profiles = ParseProfiles(text, "/etc/engines.json");
    ASSERT_EQ(profiles.size(), 1u);
    const ProfileDefinition& p = profiles[0];
    EXPECT_EQ(p.name, "bing");
    EXPECT_EQ(p.select, "bing.com");
    EXPECT_EQ(p.path, "/search?q={query}&first={offset}&count={count}");
    EXPECT_EQ(p.firstOffset, 1);
    EXPECT_EQ(p.offsetStep, 10);
    EXPECT_EQ(p.itemsPerPage, 50);
    // In the file's order, not sorted: they go on the wire that way.
    const std::vector<std::pair<std::string, std::string>> headers = {
        {"User-Agent", "Mozilla/5.0"}, {"Accept-Language", "en-US,en;q=0.9"}, {"DNT", ""}};
    EXPECT_EQ(p.headers, headers);
    EXPECT_EQ(p.hits, "//li[@class='b_algo']");
    EXPECT_EQ(p.link, ".//h2/a/@href");
    EXPECT_EQ(p.destination, ".//h2/a/@data-to");
    EXPECT_EQ(p.title, ".//h2/a");
    EXPECT_EQ(p.snippet, ".//p");
    EXPECT_EQ(p.next, "//a[@title='Next page']/@href");
    EXPECT_EQ(p.displayUrl, ".//cite");
    EXPECT_EQ(p.unwrap.param, "u");
    EXPECT_EQ(p.unwrap.until, "/");
    EXPECT_EQ(p.blockedStatuses, (std::vector<int>{403, 429}));
    ASSERT_EQ(p.blockedPages.size(), 2u);
    EXPECT_EQ(p.blockedPages[1].reason, "consent");
    EXPECT_EQ(p.blockedPages[1].xpath, "boolean(//div[@id='consent'])");
    EXPECT_EQ(p.delayMinMs, 1500);
    EXPECT_EQ(p.delayExtraMs, 600000);
    EXPECT_EQ(p.origin, "/etc/engines.json");
}

TEST(ParseProfiles, AbsentKeysKeepTheirDefaults) {
    const std::vector<ProfileDefinition> profiles =
        ParseProfiles(File({Profile("a"), Profile("b", R"(, "unwrap": {"param": "q"})")}), "f");
    ASSERT_EQ(profiles.size(), 2u);
    const ProfileDefinition defaults;
    for (const ProfileDefinition& p : profiles) {
        EXPECT_EQ(p.select, "");
        EXPECT_EQ(p.firstOffset, defaults.firstOffset);
        EXPECT_EQ(p.offsetStep, defaults.offsetStep);
        EXPECT_EQ(p.itemsPerPage, defaults.itemsPerPage);
        EXPECT_TRUE(p.headers.empty());
        EXPECT_EQ(p.snippet, "");
        EXPECT_EQ(p.next, "");
        EXPECT_EQ(p.destination, "");
        EXPECT_EQ(p.displayUrl, "");
        EXPECT_EQ(p.nextForm, "");
        EXPECT_EQ(p.blockedStatuses, defaults.blockedStatuses);
        EXPECT_TRUE(p.blockedPages.empty());
        EXPECT_EQ(p.delayMinMs, 0);
        EXPECT_EQ(p.delayExtraMs, 0);
    }
    EXPECT_EQ(profiles[0].unwrap.param, "");
    // An unwrap that names only its parameter reads a query string.
    EXPECT_EQ(profiles[1].unwrap.param, "q");
    EXPECT_EQ(profiles[1].unwrap.until, "&");
    EXPECT_TRUE(ParseProfiles(R"({"profiles": []})", "f").empty());
}

TEST(ParseProfiles, ReadsLanguageAndRegionDefaults) {
    const std::vector<ProfileDefinition> profiles =
        ParseProfiles(File({Profile("g", R"(, "defaults": {"lang": "en", "region": "US"},)"
                                         R"( "headers": {"Accept-Language": "{lang}-{region}"})"),
                            R"({"name": "h", "path": "/s?q={query}[&hl={lang}][&gl={region}]",)"
                            R"( "hits": "//li", "link": "a/@href", "title": "a"})"}),
                      "f");
    ASSERT_EQ(profiles.size(), 2u);
    EXPECT_EQ(profiles[0].defaults.lang, "en");
    EXPECT_EQ(profiles[0].defaults.region, "US");
    EXPECT_EQ(profiles[0].headers[0].second, "{lang}-{region}");
    // Parts sent only when chosen need no default.
    EXPECT_EQ(profiles[1].defaults.lang, "");
    EXPECT_EQ(profiles[1].path, "/s?q={query}[&hl={lang}][&gl={region}]");
}

TEST(ParseProfiles, ReadsANextPageForm) {
    const std::vector<ProfileDefinition> profiles = ParseProfiles(
        File({Profile("ddg", R"(, "nextForm": "//div[@class='nav-link']/form")")}), "f");
    ASSERT_EQ(profiles.size(), 1u);
    EXPECT_EQ(profiles[0].nextForm, "//div[@class='nav-link']/form");
    EXPECT_EQ(profiles[0].next, "");
}

// Bounds that hold exactly at their ends: one step further is refused below.
TEST(ParseProfiles, NumbersAtTheirBoundsAreTaken) {
    const std::vector<ProfileDefinition> low = ParseProfiles(
        File({Profile("a", R"(, "firstOffset": 0, "offsetStep": 1, "itemsPerPage": 1,)"
                           R"( "delayMinMs": 0, "delayExtraMs": 0, "blockedStatuses": [100])")}),
        "f");
    EXPECT_EQ(low[0].offsetStep, 1);
    EXPECT_EQ(low[0].blockedStatuses, std::vector<int>{100});
    const std::vector<ProfileDefinition> high =
        ParseProfiles(File({Profile("a", R"(, "firstOffset": 1000000000, "offsetStep": 1000000,)"
                                         R"( "itemsPerPage": 1000, "delayMinMs": 600000,)"
                                         R"( "blockedStatuses": [599])")}),
                      "f");
    EXPECT_EQ(high[0].firstOffset, kMaxFirstOffset);
    EXPECT_EQ(high[0].offsetStep, kMaxOffsetStep);
    EXPECT_EQ(high[0].itemsPerPage, kMaxItemsPerPage);
    EXPECT_EQ(high[0].delayMinMs, kMaxDelayMs);
    // The furthest offset any search could ask for stays far from overflow.
    EXPECT_LT(kMaxFirstOffset + kMaxOffsetStep * (std::int64_t{1} << 40), INT64_MAX / 2);
}

struct BadFile {
    const char* what;
    std::string text;
    std::string message;
};

// A header the client writes itself, or a control character in a header,
// could smuggle a second request or a second Host past a proxy: the file is
// refused, naming the profile and the header.
TEST(ParseProfiles, RefusesHeadersTheClientSetsAndControlCharacters) {
    const std::string bing = R"(engines.json: profile "bing": key "headers.)";
    const std::string own =
        R"(": the client sets this header itself (Host, Content-Length, Transfer-Encoding,)"
        R"( Connection, Cookie, Proxy-*))";
    const std::string control = R"(": must not hold control characters)";
    const BadFile cases[] = {
        {.what = "Host",
         .text = File({Profile("bing", R"(, "headers": {"Host": "evil.example"})")}),
         .message = bing + "Host" + own},
        {.what = "host in lower case",
         .text = File({Profile("bing", R"(, "headers": {"hOST": "evil.example"})")}),
         .message = bing + "hOST" + own},
        {.what = "Content-Length",
         .text = File({Profile("bing", R"(, "headers": {"content-length": "0"})")}),
         .message = bing + "content-length" + own},
        {.what = "Transfer-Encoding",
         .text = File({Profile("bing", R"(, "headers": {"Transfer-Encoding": "chunked"})")}),
         .message = bing + "Transfer-Encoding" + own},
        {.what = "Connection",
         .text = File({Profile("bing", R"(, "headers": {"CONNECTION": "close"})")}),
         .message = bing + "CONNECTION" + own},
        {.what = "Cookie",
         .text = File({Profile("bing", R"(, "headers": {"Cookie": "sid=1"})")}),
         .message = bing + "Cookie" + own},
        {.what = "Proxy-Authorization",
         .text = File({Profile("bing", R"(, "headers": {"Proxy-Authorization": "Basic x"})")}),
         .message = bing + "Proxy-Authorization" + own},
        {.what = "any Proxy- header",
         .text = File({Profile("bing", R"(, "headers": {"proxy-connection": "keep-alive"})")}),
         .message = bing + "proxy-connection" + own},
        {.what = "vertical tab",
         .text = File({Profile("bing", R"(, "headers": {"Accept": "a\u000bb"})")}),
         .message = bing + "Accept" + control},
        {.what = "tab",
         .text = File({Profile("bing", R"(, "headers": {"Accept": "a\tb"})")}),
         .message = bing + "Accept" + control},
        {.what = "escape",
         .text = File({Profile("bing", R"(, "headers": {"Accept": "\u001b[2J"})")}),
         .message = bing + "Accept" + control},
        {.what = "DEL",
         .text = File({Profile("bing", R"(, "headers": {"Accept": "a\u007f"})")}),
         .message = bing + "Accept" + control},
        {.what = "C1 control U+0085 (NEL), as UTF-8",
         .text = File({Profile("bing", R"(, "headers": {"Accept": "a\u0085b"})")}),
         .message = bing + "Accept" + control},
        {.what = "C1 control U+0080, written as its bytes",
         .text = File({Profile("bing", ", \"headers\": {\"Accept\": \"a\xC2\x80\"}")}),
         .message = bing + "Accept" + control},
        {.what = "C1 control U+009F",
         .text = File({Profile("bing", R"(, "headers": {"X-Custom": "\u009f"})")}),
         .message = bing + "X-Custom" + control},
        {.what = "control byte in a name",
         .text = File({Profile("bing", R"(, "headers": {"X\u000bY": "v"})")}),
         .message = R"(engines.json: profile "bing": key "headers.X?Y": not a header name)"},
    };
    for (const BadFile& c : cases) {
        EXPECT_EQ(ErrorOf(c.text), c.message) << c.what;
    }
    // A raw C1 byte that is no UTF-8 is refused before any header is read.
    EXPECT_NE(ErrorOf(File({Profile("bing",
                                    ", \"headers\": {\"Accept\": \"a\x85"
                                    "b\"}")})),
              "");
}

TEST(ParseProfiles, HeadersOfOtherNamesAndLettersBeyondAsciiPass) {
    // "ł" is C5 82 and "Ġ" C4 A0: bytes of 80 to 9F inside a character are no control.
    const std::vector<ProfileDefinition> profiles = ParseProfiles(
        File({Profile("bing", R"(, "headers": {"Accept-Language": "pl-PL, pl;q=0.9",)"
                              R"( "X-Name": "\u0142\u0120 \u00a0x", "Proxied-By": "no",)"
                              R"( "Hosts": "a", "Cookies": "b"})")}),
        "engines.json");
    ASSERT_EQ(profiles.size(), 1u);
    ASSERT_EQ(profiles[0].headers.size(), 5u);
    EXPECT_EQ(profiles[0].headers[1].second, "\xC5\x82\xC4\xA0 \xC2\xA0x");
}

// Every refusal names the file, the profile (by name, or by its place when
// the name is missing or unusable) and the key.
TEST(ParseProfiles, RefusesWithTheFileTheProfileAndTheKey) {
    const std::string bing = R"(engines.json: profile "bing": )";
    const BadFile cases[] = {
        {.what = "XPath that does not compile",
         .text = File({Profile("bing", R"(, "next": "//a[1")")}),
         .message = bing + R"(key "next": not valid XPath: Invalid predicate)"},
        {.what = "display URL not XPath",
         .text = File({Profile("bing", R"(, "displayUrl": "//cite[1")")}),
         .message = bing + R"(key "displayUrl": not valid XPath: Invalid predicate)"},
        {.what = "next-page form that does not compile",
         .text = File({Profile("bing", R"(, "nextForm": "//form[1")")}),
         .message = bing + R"(key "nextForm": not valid XPath: Invalid predicate)"},
        {.what = "a next link and a next-page form",
         .text = File({Profile("bing", R"(, "next": "//a/@href", "nextForm": "//form")")}),
         .message = bing + R"(key "nextForm": cannot stand beside "next": a page goes on by )"
                           R"(one of them)"},
        {.what = "{lang} in the path without its default",
         .text = File({R"({"name": "bing", "path": "/s?q={query}&hl={lang}", "hits": "//li",)"
                       R"( "link": "a", "title": "a"})"}),
         .message = bing + R"(key "path": uses {lang} but "defaults" gives no "lang")"},
        {.what = "{region} in a header without its default",
         .text = File({Profile("bing", R"(, "defaults": {"lang": "en"},)"
                                       R"( "headers": {"Accept-Language": "{lang}-{region}"})")}),
         .message = bing + R"(key "headers.Accept-Language": uses {region} but "defaults" )"
                           R"(gives no "region")"},
        {.what = "a default that could split a header",
         .text = File({Profile("bing", R"(, "defaults": {"lang": "en\r\nX: 1"})")}),
         .message = bing + R"(key "defaults.lang": may hold only ASCII letters, digits, "-" )"
                           R"(and "_")"},
        {.what = "an unknown default",
         .text = File({Profile("bing", R"(, "defaults": {"country": "US"})")}),
         .message = bing + R"(unknown key "defaults.country")"},
        {.what = "{query} in a part sent only when chosen",
         .text = File({R"({"name": "bing", "path": "/s?[q={query}&hl={lang}]", "hits": "//li",)"
                       R"( "link": "a", "title": "a"})"}),
         .message = bing + R"(key "path": only {lang} and {region} may stand in "[...]")"},
        {.what = "a bracket part without a locale field",
         .text = File({R"({"name": "bing", "path": "/s?q={query}[&x=1]", "hits": "//li",)"
                       R"( "link": "a", "title": "a"})"}),
         .message = bing + R"(key "path": "[...]" must hold {lang} or {region})"},
        {.what = "an open bracket part",
         .text = File({R"({"name": "bing", "path": "/s?q={query}[&hl={lang}", "hits": "//li",)"
                       R"( "link": "a", "title": "a"})"}),
         .message = bing + R"(key "path": "[" without "]")"},
        {.what = "required XPath empty",
         .text = File({R"({"name": "bing", "path": "/?q={query}", "hits": "", "link": "a",)"
                       R"( "title": "a"})"}),
         .message = bing + R"(key "hits": must not be empty)"},
        {.what = "required key missing",
         .text = File({R"({"name": "bing", "path": "/?q={query}", "hits": "//li", "link": "a"})"}),
         .message = bing + R"(key "title": missing)"},
        {.what = "misspelt key",
         .text = File({Profile("bing", R"(, "hitz": "//li")")}),
         .message = bing + R"(unknown key "hitz")"},
        {.what = "misspelt key inside unwrap",
         .text = File({Profile("bing", R"(, "unwrap": {"parm": "u"})")}),
         .message = bing + R"(unknown key "unwrap.parm")"},
        {.what = "misspelt key inside a block mark",
         .text = File({Profile("bing", R"(, "blockedPages": [{"reason": "r", "xpth": "//a"}])")}),
         .message = bing + R"(unknown key "blockedPages[0].xpth")"},
        {.what = "key repeated: the first would be lost",
         .text = File({Profile("bing", R"(, "hits": "//div")")}),
         .message = bing + R"(key "hits": given twice)"},
        {.what = "header repeated",
         .text = File({Profile("bing", R"(, "headers": {"Accept": "a", "Accept": "b"})")}),
         .message = bing + R"(key "headers.Accept": given twice)"},
        {.what = "string where a number belongs",
         .text = File({Profile("bing", R"(, "itemsPerPage": "10")")}),
         .message = bing + R"(key "itemsPerPage": must be a whole number from 1 to 1000)"},
        {.what = "fraction",
         .text = File({Profile("bing", R"(, "offsetStep": 2.5)")}),
         .message = bing + R"(key "offsetStep": must be a whole number from 1 to 1000000)"},
        {.what = "number where a string belongs",
         .text = File({Profile("bing", R"(, "select": 7)")}),
         .message = bing + R"(key "select": must be a string)"},
        {.what = "headers as a list",
         .text = File({Profile("bing", R"(, "headers": ["Accept: */*"])")}),
         .message = bing + R"(key "headers": must be an object of names and values)"},
        {.what = "status outside HTTP",
         .text = File({Profile("bing", R"(, "blockedStatuses": [403, 99])")}),
         .message = bing + R"(key "blockedStatuses[1]": must be a whole number from 100 to 599)"},
        {.what = "block mark without its XPath",
         .text = File({Profile("bing", R"(, "blockedPages": [{"reason": "CAPTCHA"}])")}),
         .message = bing + R"(key "blockedPages[0].xpath": missing)"},
        {.what = "empty end of an unwrapped value",
         .text = File({Profile("bing", R"(, "unwrap": {"param": "u", "until": ""})")}),
         .message = bing + R"(key "unwrap.until": must not be empty)"},
        {.what = "path without the keyword",
         .text = File({R"({"name": "bing", "path": "/search?first={offset}", "hits": "//li",)"
                       R"( "link": "a", "title": "a"})"}),
         .message = bing + R"(key "path": must hold {query})"},
        {.what = "path with an unknown field",
         .text = File({R"({"name": "bing", "path": "/search?q={query}&p={page}", "hits": "//li",)"
                       R"( "link": "a", "title": "a"})"}),
         .message =
             bing +
             R"(key "path": unknown field "{page}" (known: {query}, {offset}, {count}, {lang}, )"
             R"({region}))"},
        {.what = "path with an open field",
         .text = File({R"({"name": "bing", "path": "/search?q={query}&p={offset", "hits": "//li",)"
                       R"( "link": "a", "title": "a"})"}),
         .message = bing + R"(key "path": "{" without "}")"},
        {.what = "path that would split the request line",
         .text = File({R"({"name": "bing", "path": "/search?q={query} HTTP/1.0", "hits": "//li",)"
                       R"( "link": "a", "title": "a"})"}),
         .message = bing + R"(key "path": must not hold blanks or control characters)"},
        {.what = "header value that would start another header",
         .text = File({Profile("bing", R"(, "headers": {"Accept": "*/*\r\nCookie: x"})")}),
         .message = bing + R"(key "headers.Accept": must not hold CR, LF or NUL)"},
        {.what = "header value with NUL",
         .text = File({Profile("bing", R"(, "headers": {"Accept": "a\u0000b"})")}),
         .message = bing + R"(key "headers.Accept": must not hold CR, LF or NUL)"},
        {.what = "header name that is no token",
         .text = File({Profile("bing", R"(, "headers": {"User Agent": "x"})")}),
         .message = bing + R"(key "headers.User Agent": not a header name)"},
        {.what = "header name empty",
         .text = File({Profile("bing", R"(, "headers": {"": "x"})")}),
         .message = bing + R"(key "headers.": not a header name)"},
        {.what = "two profiles of one name",
         .text = File({Profile("bing"), Profile("brave"), Profile("bing")}),
         .message = bing + "a second profile of this name"},
        {.what = "no name: named by its place",
         .text = File({Profile("bing"), R"({"path": "/?q={query}", "hits": "//li"})"}),
         .message = R"(engines.json: profiles[1]: key "name": missing)"},
        {.what = "empty name",
         .text = File({Profile("")}),
         .message = R"(engines.json: profiles[0]: key "name": must not be empty)"},
        {.what = "name that would break a site-line tag",
         .text = File({Profile("bing, brave")}),
         .message = R"(engines.json: profiles[0]: key "name": must not hold "[", "]" or ",")"},
        {.what = "name with a bracket",
         .text = File({Profile("[bing]")}),
         .message = R"(engines.json: profiles[0]: key "name": must not hold "[", "]" or ",")"},
        {.what = "name that a tag could not match",
         .text = File({Profile(" bing")}),
         .message = R"(engines.json: profiles[0]: key "name": must not start or end with a blank)"},
        {.what = "repeat inside a profile without a name",
         .text = File({R"({"hits": "//a", "hits": "//b"})"}),
         .message = R"(engines.json: profiles[0]: key "hits": given twice)"},
        {.what = "profile that is no object",
         .text = File({Profile("bing"), "\"brave\""}),
         .message = "engines.json: profiles[1]: must be an object"},
        {.what = "top level a list",
         .text = "[]",
         .message = R"(engines.json: must hold an object {"profiles": [...]})"},
        {.what = "no profiles key",
         .text = "{}",
         .message = R"(engines.json: key "profiles": must be a list of profiles)"},
        {.what = "unknown top-level key",
         .text = R"({"profiles": [], "version": 2})",
         .message = R"(engines.json: unknown key "version")"},
        {.what = "control bytes of an unknown key shown harmlessly",
         .text = "{\"profiles\": [], \"a\\nb\": 1}",
         .message = R"(engines.json: unknown key "a?b")"},
    };
    for (const BadFile& c : cases) {
        EXPECT_EQ(ErrorOf(c.text), c.message) << c.what;
    }
}

// Numbers that a search could not work with, or that would overflow the
// offset of a late page.
TEST(ParseProfiles, RefusesNumbersOutOfBounds) {
    const struct {
        const char* key;
        const char* value;
        const char* range;
    } cases[] = {
        {.key = "firstOffset", .value = "-1", .range = "0 to 1000000000"},
        {.key = "firstOffset", .value = "1000000001", .range = "0 to 1000000000"},
        {.key = "firstOffset", .value = "18446744073709551615", .range = "0 to 1000000000"},
        {.key = "firstOffset", .value = "-9223372036854775808", .range = "0 to 1000000000"},
        {.key = "firstOffset", .value = "1e3", .range = "0 to 1000000000"},
        {.key = "offsetStep", .value = "0", .range = "1 to 1000000"},
        {.key = "offsetStep", .value = "1000001", .range = "1 to 1000000"},
        {.key = "itemsPerPage", .value = "0", .range = "1 to 1000"},
        {.key = "itemsPerPage", .value = "1001", .range = "1 to 1000"},
        {.key = "delayMinMs", .value = "-5", .range = "0 to 600000"},
        {.key = "delayExtraMs", .value = "600001", .range = "0 to 600000"},
        {.key = "delayExtraMs", .value = "null", .range = "0 to 600000"},
    };
    for (const auto& c : cases) {
        const std::string more = std::string(", \"") + c.key + "\": " + c.value;
        EXPECT_EQ(ErrorOf(File({Profile("p", more)})),
                  std::string(R"(engines.json: profile "p": key ")") + c.key +
                      "\": must be a whole number from " + c.range)
            << c.key << " = " << c.value;
    }
}

// A number no type can hold is refused by the parser itself, not thrown past
// the reader as the library's own exception.
TEST(ParseProfiles, RefusesANumberBeyondEveryType) {
    EXPECT_EQ(ErrorOf(File({Profile("p", ", \"delayMinMs\": 1E999999")})),
              "engines.json: number overflow parsing '1E999999'");
}

// The library counts bytes; a person looks for a line and a column.
TEST(ParseProfiles, SyntaxErrorsGiveLineAndColumn) {
    const struct {
        std::string text;
        std::string position;
    } cases[] = {
        {.text = "{\"profiles\": [\n  {\"name\": \"a\",,}\n]}", .position = "line 2, column 16"},
        {.text = "\n\n   x", .position = "line 3, column 4"},
        {.text = "{\"profiles\": [\r\n]", .position = "line 2, column 2"},
        {.text = "", .position = "line 1, column 1"},
        {.text = "{\"profiles\": [\"caf\xe9\"]}", .position = "line 1, column 20"},
    };
    for (const auto& c : cases) {
        const std::string message = ErrorOf(c.text);
        EXPECT_TRUE(message.starts_with("engines.json: " + c.position + ": "))
            << c.text << " -> " << message;
        // The library's own prefix and byte count are not repeated.
        EXPECT_EQ(message.find("json.exception"), std::string::npos) << message;
    }
    EXPECT_EQ(ErrorOf("{\"profiles\": [\n  {\"name\": \"a\",,}\n]}"),
              "engines.json: line 2, column 16: syntax error while parsing object key - "
              "unexpected ','; expected string literal");
}

TEST(ParseProfiles, RefusesTextOverOneMebibyte) {
    std::string text = File({Profile("a")});
    text.insert(text.size() - 1, kMaxProfileFileBytes - text.size() + 1, ' ');
    EXPECT_EQ(ErrorOf(text), "engines.json: larger than 1024 KiB");
    text.pop_back();
    EXPECT_EQ(text.size(), kMaxProfileFileBytes);
    EXPECT_EQ(ErrorOf(text), "");
}

// Counts and depths that no real file reaches are refused before they cost
// time or memory.
TEST(ParseProfiles, RefusesTooManyProfilesOrKeys) {
    std::string headers = R"(, "headers": {)";
    for (std::size_t i = 0; i <= kMaxKeysPerObject; ++i) {
        headers += (i > 0 ? ", \"X-" : "\"X-") + std::to_string(i) + "\": \"v\"";
    }
    EXPECT_EQ(ErrorOf(File({Profile("bing", headers + "}")})),
              R"(engines.json: profile "bing": key "headers": more than 256 keys in one object)");
    std::string top = R"({"profiles": [])";
    for (std::size_t i = 0; i < kMaxKeysPerObject; ++i) {
        top += ", \"k" + std::to_string(i) + "\": 0";
    }
    EXPECT_EQ(ErrorOf(top + "}"), "engines.json: more than 256 keys in one object");

    const std::string deep =
        R"({"profiles": [)" + std::string(40, '[') + std::string(40, ']') + "]}";
    EXPECT_EQ(ErrorOf(deep), R"(engines.json: profiles[0]: key "[0][0][0][0][0][0][0][0][0][0][0])"
                             R"([0][0][0][0][0][0][0][0][0]...": nested more than 32 levels deep)");

    std::vector<std::string> many;
    for (std::size_t i = 0; i <= kMaxProfilesPerFile; ++i) {
        many.push_back(Profile(std::string("p").append(std::to_string(i))));
    }
    EXPECT_EQ(ErrorOf(File(many)), R"(engines.json: key "profiles": more than 1000 profiles)");
    many.pop_back();
    EXPECT_EQ(ParseProfiles(File(many), "f").size(), kMaxProfilesPerFile);
}

TEST(XPathCompileError, AcceptsXPathAndSaysWhyNot) {
    const struct {
        std::string expr;
        std::string error;
    } cases[] = {
        {.expr = "//li[contains(concat(' ', normalize-space(@class), ' '), ' b_algo ')]",
         .error = ""},
        {.expr = ".//h2/a/@href", .error = ""},
        {.expr = "boolean(//form[@action='/sorry/index'])", .error = ""},
        // Functions are looked up at evaluation only.
        {.expr = "no-such-function(.)", .error = ""},
        {.expr = "//a[1", .error = "Invalid predicate"},
        {.expr = "//a[]", .error = "Invalid expression"},
        {.expr = "//a[@x='1]", .error = "Unfinished literal"},
        {.expr = "", .error = "Invalid expression"},
        {.expr = "///", .error = "Invalid expression"},
        {.expr = "//a)", .error = "Invalid expression"},
        {.expr = std::string("//a\0//b", 7), .error = "NUL byte in the expression"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(XPathCompileError(c.expr), c.error) << c.expr;
    }
}

// A file of nothing but "(" must be refused, not overflow the stack.
TEST(XPathCompileError, DeepNestingIsRefused) {
    EXPECT_NE(XPathCompileError(std::string(200000, '(') + "1" + std::string(200000, ')')), "");
    EXPECT_EQ(XPathCompileError(std::string(50, '(') + "1" + std::string(50, ')')), "");
}

// The program would start without its shipped profiles, saying why: a
// build that embeds a broken or stale engines.json must not pass.
TEST(BuiltInProfiles, AreTheShippedFileAndParse) {
    EXPECT_EQ(BuiltInProfilesText(), testsupport::ReadFileBytes(ZORVANE_ENGINES_JSON));
    try {
        ParseProfiles(BuiltInProfilesText(), "built-in");
    } catch (const ProfileFileError& e) {
        FAIL() << e.what();
    }
}

class ProfileCatalogTest : public ::testing::Test {
protected:
    static std::vector<std::string> Names(const std::vector<ProfileDefinition>& profiles) {
        std::vector<std::string> names;
        for (const ProfileDefinition& p : profiles) {
            names.push_back(p.name);
        }
        return names;
    }
    std::vector<std::string> BuiltInNames() {
        return Names(ParseProfiles(BuiltInProfilesText(), "built-in"));
    }
    std::string ProgramFile() const { return (dir_ / "engines.json").string(); }
    std::string UserFile() const { return (dir_ / "user.json").string(); }

    TempDir dir_{"zorvane_profile_catalog"};
};

TEST_F(ProfileCatalogTest, BuiltInAloneWhenNoFileIsThere) {
    const ProfileCatalog catalog = LoadProfileCatalog(dir_.pathWithSlash(), UserFile());
    EXPECT_TRUE(catalog.errors.empty());
    EXPECT_EQ(Names(catalog.profiles), BuiltInNames());
    const ProfileCatalog noUser = LoadProfileCatalog(dir_.pathWithSlash(), "");
    EXPECT_EQ(Names(noUser.profiles), BuiltInNames());
}

// A name seen before is replaced where it stood; a new one goes to the end.
// The user's file has the last word.
TEST_F(ProfileCatalogTest, LaterFilesReplaceInPlaceAndAppend) {
    WriteFileBytes(ProgramFile(), File({Profile("local", R"(, "select": "local")"),
                                        Profile("second", R"(, "itemsPerPage": 7)")}));
    WriteFileBytes(UserFile(),
                   File({Profile("local", R"(, "select": "mine")"), Profile("google")}));
    const ProfileCatalog catalog = LoadProfileCatalog(dir_.pathWithSlash(), UserFile());
    EXPECT_TRUE(catalog.errors.empty());
    std::vector<std::string> expected = BuiltInNames();
    const std::size_t local = expected.size();
    expected.insert(expected.end(), {"local", "second", "google"});
    ASSERT_EQ(Names(catalog.profiles), expected);
    EXPECT_EQ(catalog.profiles[local].select, "mine");
    EXPECT_EQ(catalog.profiles[local].origin, UserFile());
    EXPECT_EQ(catalog.profiles[local + 1].itemsPerPage, 7);
    EXPECT_EQ(catalog.profiles[local + 1].origin, ProgramFile());
}

// One bad file costs its own profiles only, and says why.
TEST_F(ProfileCatalogTest, BadFileIsSkippedWholeWithItsMessage) {
    WriteFileBytes(ProgramFile(), File({Profile("good"), Profile("bad", R"(, "next": "//a[1")")}));
    WriteFileBytes(UserFile(), File({Profile("mine")}));
    const ProfileCatalog catalog = LoadProfileCatalog(dir_.pathWithSlash(), UserFile());
    ASSERT_EQ(catalog.errors.size(), 1u);
    EXPECT_EQ(catalog.errors[0],
              ProgramFile() + R"(: profile "bad": key "next": not valid XPath: Invalid predicate)");
    std::vector<std::string> expected = BuiltInNames();
    expected.push_back("mine");
    EXPECT_EQ(Names(catalog.profiles), expected);
}

// Whatever stands where a file is expected is refused, never waited on or
// read without bound.
TEST_F(ProfileCatalogTest, RefusesWhatIsNoProfileFile) {
    std::string big = File({Profile("big")});
    big.insert(big.size() - 1, kMaxProfileFileBytes, ' ');
    WriteFileBytes(ProgramFile(), big);
    ASSERT_EQ(::mkfifo(UserFile().c_str(), 0600), 0);
    ProfileCatalog catalog = LoadProfileCatalog(dir_.pathWithSlash(), UserFile());
    EXPECT_EQ(catalog.errors, (std::vector<std::string>{ProgramFile() + ": larger than 1024 KiB",
                                                        UserFile() + ": not a regular file"}));
    EXPECT_EQ(Names(catalog.profiles), BuiltInNames());

    catalog = LoadProfileCatalog(dir_.pathWithSlash(), dir_.path().string());
    EXPECT_EQ(catalog.errors.back(), dir_.path().string() + ": not a regular file");
}

TEST(UserProfilesPath, FollowsTheBaseDirectoryRules) {
    const auto saved = [](const char* name) -> std::optional<std::string> {
        const char* value = std::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    };
    const std::optional<std::string> config = saved("XDG_CONFIG_HOME");
    const std::optional<std::string> home = saved("HOME");
    const struct {
        const char* config;
        const char* home;
        const char* path;
    } cases[] = {
        {.config = "/cfg", .home = "/home/u", .path = "/cfg/zorvane/engines.json"},
        {.config = nullptr, .home = "/home/u", .path = "/home/u/.config/zorvane/engines.json"},
        {.config = "", .home = "/home/u", .path = "/home/u/.config/zorvane/engines.json"},
        // A relative setting is to be ignored.
        {.config = "cfg", .home = "/home/u", .path = "/home/u/.config/zorvane/engines.json"},
        {.config = nullptr, .home = nullptr, .path = ""},
    };
    for (const auto& c : cases) {
        for (const auto& [name, value] :
             {std::pair{"XDG_CONFIG_HOME", c.config}, std::pair{"HOME", c.home}}) {
            value != nullptr ? ::setenv(name, value, 1) : ::unsetenv(name);
        }
        EXPECT_EQ(UserProfilesPath(), c.path) << (c.config ? c.config : "(unset)");
    }
    for (const auto& [name, value] :
         {std::pair{"XDG_CONFIG_HOME", config}, std::pair{"HOME", home}}) {
        value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
    }
}

}  // namespace
}  // namespace search

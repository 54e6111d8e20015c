#include "search/profile_extract.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "search/charset.h"
#include "search/profile_file.h"
#include "search/text_normalise.h"
#include "serp_pages.h"

namespace search {
namespace {

using nlohmann::json;

const std::string kSerp = ZORVANE_SERP_DATA;

const ProfileDefinition& Shipped(const std::string& name) {
    static const std::vector<ProfileDefinition> profiles =
        ParseProfiles(BuiltInProfilesText(), "engines.json");
    const auto found = std::find_if(profiles.begin(), profiles.end(),
                                    [&name](const ProfileDefinition& p) { return p.name == name; });
    if (found == profiles.end()) {
        throw std::runtime_error("no shipped profile " + name);
    }
    return *found;
}

class RealPage : public ::testing::TestWithParam<std::string> {};

// Every organic hit a person sees on the page, nothing else, with its real
// destination, the link as written, title, snippet; and the next link.
TEST_P(RealPage, GivesTheHitsAPersonSees) {
    const json truth = json::parse(serp::ReadFile(kSerp + "truth/" + GetParam() + ".json"));
    const std::string bytes = serp::ReadFile(kSerp + "pages/" + GetParam() + ".html");
    const std::string charset = truth["charset"];
    const CompiledProfile profile(Shipped(serp::ProfileName(truth["profile"])));
    const ProfilePage page =
        profile.extract(ToUtf8(bytes, DeclaredCharset("text/html; charset=" + charset, bytes)));

    EXPECT_TRUE(page.blockedReason.empty()) << page.blockedReason;
    const json& hits = truth["results"];
    for (std::size_t i = 0; i < std::max(page.hits.size(), hits.size()); ++i) {
        SCOPED_TRACE("hit " + std::to_string(i + 1));
        ASSERT_LT(i, page.hits.size()) << "missing: " << hits[i].dump();
        ASSERT_LT(i, hits.size()) << "extra: " << page.hits[i].title << " " << page.hits[i].url;
        EXPECT_EQ(page.hits[i].url, hits[i]["url"]);
        EXPECT_EQ(page.hits[i].rawLink, hits[i]["raw_href"]);
        EXPECT_EQ(page.hits[i].title, hits[i]["title"]);
        EXPECT_EQ(page.hits[i].snippet,
                  hits[i]["snippet"].is_null() ? "" : hits[i]["snippet"].get<std::string>());
    }
    if (truth["next_href"].is_null()) {
        EXPECT_FALSE(page.hasNext);
    } else {
        EXPECT_TRUE(page.hasNext);
        EXPECT_EQ(page.nextHref, truth["next_href"]);
    }
}

INSTANTIATE_TEST_SUITE_P(Shipped, RealPage, ::testing::ValuesIn(serp::PageNames(kSerp)),
                         [](const auto& info) { return serp::TestName(info.param); });

// Pages that are block walls, as each engine shows them, are told apart.
TEST(BlockPages, AreRecognisedByTheirMarks) {
    const struct {
        const char* profile;
        const char* page;
    } cases[] = {
        {"brave",
         "<html><head><title>Solve the Captcha - Brave Search</title></head>"
         "<body><div id=\"captcha\"></div></body></html>"},
        {"ecosia",
         "<html><head><title>Ecosia: IP Blocked</title></head><body>"
         "<h1>Your IP has been blocked</h1></body></html>"},
        {"google-web",
         "<html><body><form id=\"captcha-form\" action=\"/sorry/index\">"
         "<div>Our systems have detected unusual traffic from your computer "
         "network.</div></form></body></html>"},
        {"google-basic",
         "<html><body><form id=\"captcha-form\" action=\"/sorry/index\">"
         "</form></body></html>"},
        {"bing",
         "<html><body><form action=\"/challenge/verify\" method=\"post\">"
         "<h1>One last step</h1></form></body></html>"},
        {"bing",
         "<html><body><ol id=\"b_results\"><li class=\"b_no\"><h1>There are no results for "
         "<strong>Dan Robitzski</strong></h1></li></ol></body></html>"},
        {"yahoo-web",
         "<html><head><title>Yahoo</title></head><body><form "
         "action=\"https://consent.yahoo.com/v2/collectConsent\"></form></body></html>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.profile);
        const ProfilePage page = CompiledProfile(Shipped(c.profile)).extract(c.page);
        EXPECT_FALSE(page.blockedReason.empty());
        EXPECT_TRUE(page.hits.empty());
    }
}

TEST(CompiledProfile, NamesTheKeyOfABadExpression) {
    ProfileDefinition definition = Shipped("bing");
    definition.snippet = "p[";
    try {
        CompiledProfile profile(definition);
        FAIL() << "accepted";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("key \"snippet\""), std::string::npos) << e.what();
    }
    definition = Shipped("bing");
    definition.blockedPages.push_back({.reason = "x", .xpath = "//a[@"});
    try {
        CompiledProfile profile(definition);
        FAIL() << "accepted";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(
            std::string(e.what()).find(
                "blockedPages[" + std::to_string(definition.blockedPages.size() - 1) + "].xpath"),
            std::string::npos)
            << e.what();
    }
}

// Whatever arrives, extraction ends with no hits rather than a crash.
TEST(CompiledProfile, SurvivesWhatIsNoPage) {
    const CompiledProfile profile(Shipped("bing"));
    const std::string deep = std::string(200000, '<') + "div>" + std::string(100000, 'x');
    std::string nested;
    for (int i = 0; i < 100000; ++i) {
        nested += "<li class=\"b_algo\"><h2><a href=\"x\">";
    }
    for (const std::string& page :
         {std::string(), std::string("\0\0\0", 3), std::string("\xff\xfe<html>"), deep, nested,
          std::string(1 << 20, 'a')}) {
        const ProfilePage result = profile.extract(page);
        EXPECT_LE(result.hits.size(), kMaxHitsPerPage);
    }
}

// A profile that takes every <li> of a page, its first link and the title
// and snippet expressions given.
ProfileDefinition ListProfile(std::string title, std::string snippet = "p") {
    ProfileDefinition definition;
    definition.name = "list";
    definition.hits = "//li";
    definition.link = "(.//a)[1]/@href";
    definition.title = std::move(title);
    definition.snippet = std::move(snippet);
    return definition;
}

// What a person reads in a hit: words apart as they are shown, nothing of the
// page's scripts, the page read as UTF-8 whatever its head declares.
TEST(CompiledProfile, TakesTheTextAsShown) {
    const struct {
        const char* name;
        const char* title;  // XPath
        const char* hit;    // markup inside <li>
        const char* text;
    } cases[] = {
        {"elements unknown to HTML 4 keep the space between them", "span",
         "<a href=\"u\">t</a><span><time>1 May</time> <em>2022</em>\n<b>x</b></span>",
         "1 May 2022 x"},
        {"line break, script, style and noscript", "span",
         "<a href=\"u\">t</a><span>A<br>B<script>s('C')</script><style>p{}</style>"
         "<noscript>N</noscript> D</span>",
         "A B D"},
        {"entities decoded, no-break spaces collapsed", "a",
         "<a href=\"u\">&nbsp;Tom&nbsp;&amp;&#160;Jerry&#x200B;&lt;3 </a>", "Tom & Jerry<3"},
        {"several nodes joined in document order", "span",
         "<a href=\"u\">t</a><span>a</span>x<span>b</span>", "ab"},
        {"an attribute gives its value", "a/@title", "<a href=\"u\" title=\" The  title \">t</a>",
         "The title"},
        {"a string result", "concat(a, '!')", "<a href=\"u\">t</a>", "t!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ProfilePage page =
            CompiledProfile(ListProfile(c.title))
                .extract(std::string("<html><head><meta charset=\"windows-1252\"></head>"
                                     "<body><ul><li>") +
                         c.hit + "</li></ul></body></html>");
        ASSERT_EQ(page.hits.size(), 1U);
        EXPECT_EQ(page.hits[0].title, c.text);
    }

    // The page's own charset label is not the parser's to follow.
    const ProfilePage page =
        CompiledProfile(ListProfile("a"))
            .extract(
                "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
                "charset=iso-8859-1\"></head><body><ul><li><a href=\"u\">caf\xC3\xA9 \xE2\x80\xBA"
                "</a><p>s</p></li></ul></body></html>");
    ASSERT_EQ(page.hits.size(), 1U);
    EXPECT_EQ(page.hits[0].title, "caf\xC3\xA9 \xE2\x80\xBA");
    EXPECT_EQ(page.hits[0].snippet, "s");
}

TEST(CompiledProfile, SkipsHitsWithoutLinkOrTitle) {
    const ProfilePage page =
        CompiledProfile(ListProfile("a"))
            .extract(
                "<ul><li><a>no link</a></li><li><a href=\"\">empty link</a></li>"
                "<li><a href=\"u1\"> &nbsp;<img src=\"i\"> </a></li>"
                "<li><a href=\" u2 \">kept</a></li></ul>");
    ASSERT_EQ(page.hits.size(), 1U);
    EXPECT_EQ(page.hits[0].rawLink, "u2");
    EXPECT_EQ(page.hits[0].title, "kept");
    EXPECT_EQ(page.hits[0].snippet, "");
    EXPECT_FALSE(page.hasNext);
}

// A page that would fill the memory is cut: hits, texts and the page itself.
TEST(CompiledProfile, BoundsWhatAPageGives) {
    const CompiledProfile profile(ListProfile("a"));
    std::string many = "<ul>";
    for (std::size_t i = 0; i < kMaxHitsPerPage + 500; ++i) {
        many += "<li><a href=\"u\">t</a></li>";
    }
    EXPECT_EQ(profile.extract(many).hits.size(), kMaxHitsPerPage);

    // Three bytes a character, so that the bound falls inside one.
    std::string euros;
    for (std::size_t i = 0; i < kMaxHitTextBytes; ++i) {
        euros += "\xE2\x82\xAC";
    }
    const ProfilePage longText =
        profile.extract("<ul><li><a href=\"u\">" + euros + "</a></li></ul>");
    ASSERT_EQ(longText.hits.size(), 1U);
    const std::string& title = longText.hits[0].title;
    EXPECT_LE(title.size(), kMaxHitTextBytes);
    EXPECT_GT(title.size(), kMaxHitTextBytes - 3);
    EXPECT_EQ(title.size() % 3, 0U);
    EXPECT_EQ(title.substr(title.size() - 3), "\xE2\x82\xAC");

    // Filled with comments: libxml2 gives up on a single text node of 10 MB.
    std::string past = "<ul><li><a href=\"first\">1</a></li>";
    const std::string comment = "<!--" + std::string(1 << 20, '-') + "-->";
    while (past.size() < kMaxParsedPageBytes) {
        past += comment;
    }
    past += "<li><a href=\"past\">2</a></li></ul>";
    const ProfilePage cut = profile.extract(past);
    ASSERT_EQ(cut.hits.size(), 1U);
    EXPECT_EQ(cut.hits[0].rawLink, "first");
}

TEST(NormaliseText, CollapsesSpacesAndDropsInvisibleMarks) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"  a \t\r\n b  ", "a b"},
        {"a\xC2\xA0\xC2\xA0"
         "b",
         "a b"},
        {"a\xE2\x80\x8B"
         "b",
         "ab"},
        {"\xEF\xBB\xBF"
         "a \xE2\x80\x8E b\xE2\x81\xA9",
         "a b"},
        {"a\xC2\x85"
         "b\xE2\x80\xA8"
         "c",
         "a b c"},
        {"a\xE2\x80\x83\xE3\x80\x80"
         "b",
         "a b"},
        {"caf\xC3\xA9 \xE2\x80\xA6", "caf\xC3\xA9 \xE2\x80\xA6"},
        {"\xE2\x80", "\xE2\x80"},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NormaliseText(c.in), c.out) << c.in;
    }
}

TEST(UnwrapLink, TakesTheDestinationOutOfRedirects) {
    const LinkUnwrap query{.param = "q", .until = "&"};
    const LinkUnwrap yahoo{.param = "RU", .until = "/"};
    const LinkUnwrap uddg{.param = "uddg"};
    const LinkUnwrap none{};
    const struct {
        const char* href;
        const LinkUnwrap* unwrap;
        const char* url;
    } cases[] = {
        {"/url?q=https://example.com/a%3Fb%3D1%26c&sa=U&ved=x", &query,
         "https://example.com/a?b=1&c"},
        {"/url?q=https://example.com/a+b&sa=U", &query, "https://example.com/a b"},
        {"https://books.google.com/books?id=1", &query, "https://books.google.com/books?id=1"},
        {"/url?faq=1&q=https://x.example/", &query, "https://x.example/"},
        {"https://r.search.yahoo.com/_ylt=A;_ylu=B/RV=2/RE=1/RO=10/"
         "RU=https%3a%2f%2fen.wikipedia.org%2fwiki%2fCivil_code/RK=2/RS=z-",
         &yahoo, "https://en.wikipedia.org/wiki/Civil_code"},
        {"https://a.example/RU=x+y/", &yahoo, "x+y"},
        {"/l/?uddg=https%3A%2F%2Fd.example%2F&rut=1", &uddg, "https://d.example/"},
        {"/url?q=%zz%4", &query, "%zz%4"},
        {"/url?q=&sa=U", &query, "/url?q=&sa=U"},
        {"https://direct.example/?q=1", &none, "https://direct.example/?q=1"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(UnwrapLink(c.href, *c.unwrap), c.url) << c.href;
    }
}

}  // namespace
}  // namespace search

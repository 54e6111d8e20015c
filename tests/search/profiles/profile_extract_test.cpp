#include "search/profiles/profile_extract.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "search/charset.h"
#include "search/csv_export.h"
#include "search/profiles/profile_file.h"
#include "search/profiles/text_normalise.h"
#include "search/text_rules.h"
#include "tests/search/serp_pages.h"

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

    if (truth["kind"] == "blocked") {
        EXPECT_FALSE(page.blockedReason.empty()) << truth["blocked_reason"];
        EXPECT_TRUE(page.hits.empty());
        EXPECT_FALSE(page.hasNext);
        return;
    }
    EXPECT_TRUE(page.blockedReason.empty()) << page.blockedReason;
    const json& hits = truth["results"];
    for (std::size_t i = 0; i < std::max(page.hits.size(), hits.size()); ++i) {
        SCOPED_TRACE("hit " + std::to_string(i + 1));
        ASSERT_LT(i, page.hits.size()) << "missing: " << hits[i].dump();
        ASSERT_LT(i, hits.size()) << "extra: " << page.hits[i].title << " " << page.hits[i].url;
        // A relative link that does not carry the destination stays as the
        // page wrote it here; the run makes it absolute.
        const std::string url = hits[i]["url"];
        const std::string rawHref = hits[i]["raw_href"];
        const bool madeAbsolute = rawHref.starts_with("/") && url.ends_with(rawHref);
        EXPECT_EQ(page.hits[i].url, madeAbsolute ? rawHref : url);
        EXPECT_EQ(page.hits[i].rawLink, hits[i]["raw_href"]);
        EXPECT_EQ(page.hits[i].title, hits[i]["title"]);
        EXPECT_EQ(page.hits[i].snippet,
                  hits[i]["snippet"].is_null() ? "" : hits[i]["snippet"].get<std::string>());
        EXPECT_EQ(page.hits[i].displayUrl, hits[i].value("display_url", ""));
    }
    if (truth.contains("next_form")) {
        // Read again keeping the order of the fields: they are sent in it.
        const auto form = nlohmann::ordered_json::parse(
            serp::ReadFile(kSerp + "truth/" + GetParam() + ".json"))["next_form"];
        std::string body;
        for (const auto& [name, value] : form["fields"].items()) {
            body += (body.empty() ? "" : "&") + HtmlFormText(name) + "=" +
                    HtmlFormText(value.get<std::string>());
        }
        ASSERT_TRUE(page.nextForm.has_value());
        EXPECT_TRUE(page.hasNext);
        EXPECT_EQ(page.nextForm->action, form["action"]);
        EXPECT_EQ(page.nextForm->post, form["method"] == "POST");
        EXPECT_EQ(page.nextForm->body, body);
    } else if (truth["next_href"].is_null()) {
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
        {"duckduckgo", "If this error persists, please let us know: error-lite@duckduckgo.com"},
        {"yahoo-web",
         "<html><head><title>Yahoo</title></head><body><form "
         "action=\"https://consent.yahoo.com/v2/collectConsent\"></form></body></html>"},
        {"aol",
         "<html><head><title>AOL</title></head><body><form method=\"post\" "
         "action=\"https://consent.yahoo.com/v2/collectConsent?sessionId=1\"></form></body></"
         "html>"},
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
    definition.destination = "(.//a)[1]/@data-to";
    definition.displayUrl = "cite";
    return definition;
}

// A destination the page holds beside the link goes before the link, which
// stays the raw link; without one, the link unwrapped is the destination.
TEST(CompiledProfile, TakesTheDestinationWhereThePageHoldsIt) {
    ProfileDefinition definition = ListProfile("a");
    definition.unwrap.param = "q";
    const ProfilePage page =
        CompiledProfile(definition)
            .extract(
                "<ul><li><a href=\"/link?m=1\" data-to=\" https://d.example/ \">t</a>"
                "<cite> d.example </cite></li>"
                "<li><a href=\"/r?q=https%3A%2F%2Fe.example%2F\">t</a></li>"
                "<li><a href=\"/link?m=3\" data-to=\"\">t</a></li></ul>");
    ASSERT_EQ(page.hits.size(), 3U);
    EXPECT_EQ(page.hits[0].url, "https://d.example/");
    EXPECT_EQ(page.hits[0].rawLink, "/link?m=1");
    EXPECT_EQ(page.hits[0].displayUrl, "d.example");
    EXPECT_EQ(page.hits[1].url, "https://e.example/");
    EXPECT_EQ(page.hits[1].displayUrl, "");
    EXPECT_EQ(page.hits[2].url, "/link?m=3");
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

// A page that would fill the memory is cut: hits and the page itself; a hit
// too long to show whole is left out, and both are told.
TEST(CompiledProfile, BoundsWhatAPageGives) {
    const CompiledProfile profile(ListProfile("a"));
    std::string many = "<ul>";
    for (std::size_t i = 0; i < kMaxHitsPerPage + 500; ++i) {
        many += "<li><a href=\"u\">t</a></li>";
    }
    const ProfilePage capped = profile.extract(many);
    EXPECT_EQ(capped.hits.size(), kMaxHitsPerPage);
    EXPECT_TRUE(capped.hitCapReached);
    EXPECT_FALSE(profile.extract("<ul><li><a href=\"u\">t</a></li></ul>").hitCapReached);

    const std::string longText(kMaxHitTextBytes + 1, 'x');
    const struct {
        const char* name;
        std::string hit;  // inside <li>
    } oversized[] = {
        {.name = "title", .hit = "<a href=\"u\">" + longText + "</a>"},
        {.name = "link", .hit = "<a href=\"" + longText + "\">t</a>"},
        {.name = "snippet", .hit = "<a href=\"u\">t</a><p>" + longText + "</p>"},
        {.name = "destination", .hit = "<a href=\"u\" data-to=\"" + longText + "\">t</a>"},
        {.name = "display URL", .hit = "<a href=\"u\">t</a><cite>" + longText + "</cite>"},
        {.name = "title of many parts",
         .hit = "<a href=\"u\">" + std::string(kMaxHitTextBytes / 2 + 1, 'x') + "<b>" +
                std::string(kMaxHitTextBytes / 2, 'y') + "</b></a>"},
    };
    for (const auto& c : oversized) {
        SCOPED_TRACE(c.name);
        const ProfilePage page =
            profile.extract("<ul><li><a href=\"first\">1</a></li><li>" + c.hit +
                            "</li><li><a href=\"last\">3</a></li></ul>");
        ASSERT_EQ(page.hits.size(), 2U);
        EXPECT_EQ(page.hits[0].rawLink, "first");
        EXPECT_EQ(page.hits[1].rawLink, "last");
        EXPECT_EQ(page.oversizedHits, 1U);
    }
    const ProfilePage justFits = profile.extract(
        "<ul><li><a href=\"u\">" + std::string(kMaxHitTextBytes, 'x') + "</a></li></ul>");
    ASSERT_EQ(justFits.hits.size(), 1U);
    EXPECT_EQ(justFits.hits[0].title.size(), kMaxHitTextBytes);
    EXPECT_EQ(justFits.oversizedHits, 0U);

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

// Pages a browser shows with every hit, which the HTML 4 parser read in
// part: every hit is found.
TEST(CompiledProfile, GivesEveryHitABrowserShows) {
    const auto hits = [](int count, const std::string& before, const std::string& between,
                         int from = 0) {
        std::string html = "<html><body>" + before;
        for (int i = from; i < from + count; ++i) {
            html += (i > from ? between : "") + "<div class=\"hit\"><a href=\"u" +
                    std::to_string(i) + "\">t" + std::to_string(i) + "</a></div>";
        }
        return html;
    };
    std::string divs;
    for (int i = 0; i < 255; ++i) {
        divs += "<div>";
    }
    const std::string nul10 = hits(4, "", "") + std::string(1, '\0') + hits(6, "", "", 4);
    const struct {
        const char* name;
        std::string page;
        std::size_t hits;
    } cases[] = {
        {.name = "an unclosed <font> before each hit",
         .page = hits(400, "<font>", "<font>"),
         .hits = 400},
        {.name = "hits under 255 <div>s", .page = hits(10, divs, ""), .hits = 10},
        {.name = "a NUL byte between hit 4 and 5", .page = nul10, .hits = 10},
        {.name = "misnested <b><i> around every hit",
         .page = hits(50, "", "<b><i></b></i>"),
         .hits = 50},
    };
    ProfileDefinition definition = ListProfile("a");
    definition.hits = "//div[@class='hit']";
    const CompiledProfile profile(definition);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ProfilePage page = profile.extract(c.page);
        EXPECT_TRUE(page.unreadReason.empty()) << page.unreadReason;
        ASSERT_EQ(page.hits.size(), c.hits);
        EXPECT_EQ(page.hits.back().rawLink, "u" + std::to_string(c.hits - 1));
    }
}

// A page that cannot be read whole within the bounds is no page: no hits,
// and a reason the status can show.
TEST(CompiledProfile, FailsAPageItCannotReadWhole) {
    std::string deep;
    for (std::size_t i = 0; i < kMaxTreeDepth + 10; ++i) {
        deep += "<div>";
    }
    const std::string page = "<ul><li><a href=\"u\">t</a></li></ul>" + deep;
    std::atomic<bool> cancelled{true};
    const struct {
        const char* name;
        std::string page;
        ExtractBounds bounds;
        const char* reason;
    } cases[] = {
        {.name = "too deep", .page = page, .bounds = {}, .reason = "nested more than 4096 deep"},
        {.name = "parser memory",
         .page = page,
         .bounds = {.parse = {.memoryBytes = 256 * 1024}},
         .reason = "needed more than 256 KiB"},
        {.name = "parse time",
         .page = page,
         .bounds = {.parse = {.time = std::chrono::milliseconds(-1)}},
         .reason = "parsing took longer than 0 s"},
        {.name = "XPath steps",
         .page = "<ul><li><a href=\"u\">t</a></li></ul>",
         .bounds = {.parse = {}, .xpathOps = 5},
         .reason = "took more than 5 steps"},
        {.name = "cancelled",
         .page = "<ul><li><a href=\"u\">t</a></li></ul>",
         .bounds = {.parse = {.cancel = &cancelled}},
         .reason = "stopped"},
    };
    const CompiledProfile profile(ListProfile("a"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ProfilePage result = profile.extract(c.page, c.bounds);
        EXPECT_TRUE(result.hits.empty());
        EXPECT_FALSE(result.hasNext);
        EXPECT_EQ(result.unreadReason.rfind("Page not read whole: ", 0), 0U) << result.unreadReason;
        EXPECT_NE(result.unreadReason.find(c.reason), std::string::npos) << result.unreadReason;
    }
}

// Expressions that walk the page for every node of it end at the step
// budget, not after minutes.
TEST(CompiledProfile, EndsRunawayExpressionsAtTheBudget) {
    std::string flat;
    for (int i = 0; i < 20000; ++i) {
        flat += "<div class='hit'><a href='u'>t</a></div>";
    }
    ProfileDefinition countAll = ListProfile("a");
    countAll.hits = "//div[@class='hit'][count(//div) > 0]";

    std::string nested;
    for (int i = 0; i < 400; ++i) {
        nested += "<ol id='b_results'><li class='b_algo'><h2><a href='u'>t</a></h2><div>";
    }
    const struct {
        const char* name;
        ProfileDefinition profile;
        std::string page;
        unsigned long budget;
    } cases[] = {
        {.name = "count(//div) for every hit",
         .profile = countAll,
         .page = flat,
         .budget = kXPathOpBudget},
        {.name = "the Bing profile on nested hits",
         .profile = Shipped("bing"),
         .page = nested,
         .budget = 1'000'000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ProfilePage page =
            CompiledProfile(c.profile).extract(c.page, {.parse = {}, .xpathOps = c.budget});
        EXPECT_TRUE(page.hits.empty());
        EXPECT_NE(page.unreadReason.find("XPath expressions took more than " +
                                         std::to_string(c.budget) + " steps"),
                  std::string::npos)
            << page.unreadReason;
    }
}

// Whatever bytes a page holds, a hit's texts are UTF-8, in the grid and in
// the CSV file as in the JSON Lines one.
TEST(CompiledProfile, GivesHitTextsInUtf8) {
    const ProfilePage page = CompiledProfile(ListProfile("a"))
                                 .extract(
                                     "<ul><li><a href=\"/r?q=%FF%C3\">bad \xFF\xC3 title</a>"
                                     "<p>\xED\xA0\x80</p></li></ul>");
    ASSERT_EQ(page.hits.size(), 1U);
    EXPECT_EQ(page.hits[0].title, "bad \xEF\xBF\xBD\xEF\xBF\xBD title");
    EXPECT_EQ(page.hits[0].snippet, "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
    ProfileDefinition unwrapping = ListProfile("a");
    unwrapping.unwrap.param = "q";
    const ProfilePage unwrapped =
        CompiledProfile(unwrapping).extract("<ul><li><a href=\"/r?q=%FF%C3%A9\">t</a></li></ul>");
    ASSERT_EQ(unwrapped.hits.size(), 1U);
    EXPECT_EQ(unwrapped.hits[0].url, "\xEF\xBF\xBD\xC3\xA9");

    const ResultRow row{.pos = "1",
                        .anchor = page.hits[0].title,
                        .url = unwrapped.hits[0].url,
                        .engineSite = "s",
                        .snippet = page.hits[0].snippet,
                        .rawLink = page.hits[0].rawLink};
    EXPECT_EQ(FormatExport(std::vector<ResultRow>{row}),
              "\"Pos\",\"Anchor\",\"URL\",\"Engine Site\"\r\n"
              "\"1\",\"bad \xEF\xBF\xBD\xEF\xBF\xBD title\",\"\xEF\xBF\xBD\xC3\xA9\",\"s\"\r\n");
}

TEST(ValidUtf8, ReplacesWhatIsNoCharacter) {
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"caf\xC3\xA9 \xF0\x9F\x98\x80", "caf\xC3\xA9 \xF0\x9F\x98\x80"},
        {"a\xFF"
         "b",
         "a\xEF\xBF\xBD"
         "b"},
        {"\xC3", "\xEF\xBF\xBD"},
        {"\xE2\x82"
         "x",
         "\xEF\xBF\xBD"
         "x"},
        {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"\xF0\x9F\x98", "\xEF\xBF\xBD"},
        {std::string("a\0b", 3), std::string("a\0b", 3)},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ValidUtf8(c.in), c.out) << c.in;
    }
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

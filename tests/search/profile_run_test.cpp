#include "search/profile_run.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "fake_host.h"
#include "net/http_client.h"
#include "net/internet_date.h"
#include "search/profile_worker.h"
#include "search/profiles/profile_file.h"
#include "search/profiles/profile_locale.h"
#include "search/search_run.h"
#include "search/search_texts.h"
#include "serp_pages.h"
#include "tests/support/scripted_server.h"

namespace search {
namespace {

using testing::FakeHost;
using testsupport::HttpResponse;
using testsupport::Script;
using testsupport::ScriptedServer;
using testsupport::Step;

// A small engine whose pages the tests write by hand.
ProfileDefinition TestProfile() {
    ProfileDefinition p;
    p.name = "tiny";
    p.select = "tiny";
    p.path = "/find?q={query}&from={offset}&n={count}";
    p.firstOffset = 1;
    p.offsetStep = 10;
    p.itemsPerPage = 10;
    p.headers = {{"User-Agent", "TinyBrowser/1.0"}, {"Accept-Language", "en-US,en;q=0.9"}};
    p.hits = "//div[@class='hit']";
    p.link = "a/@href";
    p.title = "a";
    p.snippet = "p";
    p.next = "//a[@id='next']";
    p.unwrap.param = "u";
    p.blockedPages = {{.reason = "CAPTCHA page", .xpath = "//form[@id='captcha']"}};
    p.delayMinMs = 1500;
    p.delayExtraMs = 500;
    return p;
}

std::string Page(const std::vector<std::string>& titles, bool withNext) {
    std::string html = "<html><body>";
    for (const std::string& t : titles) {
        html += "<div class=\"hit\"><a href=\"/r?u=http%3A%2F%2F" + t + ".example%2F\">" + t +
                " &amp; more</a><p>About   " + t + "</p></div>";
    }
    if (withNext) {
        html += "<a id=\"next\" href=\"/find?from=11\">Next</a>";
    }
    return html + "</body></html>";
}

std::string Ok(const std::string& body) {
    return HttpResponse("HTTP/1.1 200 OK", body, "Content-Type: text/html; charset=utf-8\r\n");
}

class ProfileRunTest : public ::testing::Test {
protected:
    ProfileRunTest() {
        AttachHarvesterClient(http_, host_);
        host_.keywordValue = "café & co";
    }

    RunSummary run(ScriptedServer& server, const ProfileDefinition& profile = TestProfile()) {
        host_.siteTextValue = "[tiny] http://127.0.0.1:" + std::to_string(server.port());
        return RunProfilePass(profile, "http://127.0.0.1:" + std::to_string(server.port()), ctx_);
    }

    FakeHost host_;
    net::HttpClient http_;
    EngineSettings settings_;
    SearchContext ctx_{host_, http_, settings_};
};

TEST(ProfileRequestUrl, FillsTheFields) {
    const ProfileDefinition p = TestProfile();
    EXPECT_EQ(ProfileRequestUrl(p, "http://h", "a b", 0), "http://h/find?q=a+b&from=1&n=10");
    EXPECT_EQ(ProfileRequestUrl(p, "http://h/", "AT&T", 2), "http://h/find?q=AT%26T&from=21&n=10");
    ProfileDefinition other = p;
    other.path = "search/{unknown}/{query}{";
    EXPECT_EQ(ProfileRequestUrl(other, "http://h/", "x", 0), "http://h/search/{unknown}/x{");
}

// A link is read against the page's address as a browser reads it.
TEST(AbsoluteLink, ReadsALinkAgainstThePage) {
    const struct {
        const char* page;
        const char* link;
        const char* url;
    } cases[] = {
        {"https://www.sogou.com/web?query=x&ie=utf8", "/link?url=hed..",
         "https://www.sogou.com/link?url=hed.."},
        {"https://www.sogou.com/web?query=x", "/link?url=http://a.example/",
         "https://www.sogou.com/link?url=http://a.example/"},
        {"http://127.0.0.1:8080/web?query=x", "/link?url=a", "http://127.0.0.1:8080/link?url=a"},
        {"https://h.example/a/b?q=1", "c?d=1", "https://h.example/a/c?d=1"},
        {"https://h.example/a/b?q=1", "?page=2", "https://h.example/a/b?page=2"},
        {"https://h.example/a/b", "//cdn.example/x", "https://cdn.example/x"},
        {"https://h.example:8443/", "/x", "https://h.example:8443/x"},
        {"https://h.example/", "HTTP://Other.example/", "HTTP://Other.example/"},
        {"https://h.example/", "mailto:a@b.example", "mailto:a@b.example"},
        {"https://h.example/", "a:b/c", "a:b/c"},
        {"https://h.example/", "1a:b", "https://h.example/1a:b"},
        {"not a url", "/link?url=a", "/link?url=a"},
        {"", "/link?url=a", "/link?url=a"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AbsoluteLink(c.page, c.link), c.url) << c.page << " " << c.link;
    }
}

// Where a submitted form goes, as a browser resolves it, and the key by
// which a pass knows a request again.
TEST(FormRequest, ResolvesTheActionAgainstThePage) {
    const std::string page = "http://h:8080/dir/page?q=1&s=0";
    const struct {
        const char* action;
        bool post;
        const char* url;
    } cases[] = {
        {.action = "", .post = true, .url = "http://h:8080/dir/page?q=1&s=0"},
        {.action = "", .post = false, .url = "http://h:8080/dir/page?b=2"},
        {.action = "/html/", .post = true, .url = "http://h:8080/html/"},
        {.action = "/html/?kl=x#frag", .post = false, .url = "http://h:8080/html/?b=2"},
        {.action = "next?x=1", .post = true, .url = "http://h:8080/dir/next?x=1"},
        {.action = "../up", .post = true, .url = "http://h:8080/up"},
        {.action = "?only=query", .post = true, .url = "http://h:8080/dir/page?only=query"},
        {.action = "#top", .post = true, .url = "http://h:8080/dir/page?q=1&s=0"},
        {.action = "//other.example/x", .post = true, .url = "http://other.example/x"},
        {.action = "https://secure.example/f",
         .post = false,
         .url = "https://secure.example/f?b=2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.action);
        const auto request = FormRequest({.action = c.action, .post = c.post, .body = "b=2"}, page);
        ASSERT_TRUE(request.has_value());
        EXPECT_EQ(request->url, c.url);
        EXPECT_EQ(request->post, c.post);
        EXPECT_EQ(request->body, c.post ? "b=2" : "");
    }
    EXPECT_FALSE(FormRequest({.action = "/x"}, "not a url").has_value());

    const PageRequest get{.url = "http://h/a?b=2"};
    const PageRequest post{.url = "http://h/a?b=2", .post = true, .body = "b=2"};
    const PageRequest otherBody{.url = "http://h/a?b=2", .post = true, .body = "b=3"};
    EXPECT_NE(get.key(), post.key());
    EXPECT_NE(post.key(), otherBody.key());
    EXPECT_EQ(post.key(),
              (PageRequest{.url = "http://h/a?b=2", .post = true, .body = "b=2"}.key()));
}

// {lang} and {region} take the search's values, else the profile's defaults;
// a "[...]" part goes out only when the search chose every value in it, so
// a search without them asks what it always asked.
TEST(ProfileRequestUrl, FillsLanguageAndRegion) {
    ProfileDefinition p = TestProfile();
    p.path = "/s?q={query}&l={lang}[&hl={lang}][&gl={region}][&both={lang}_{region}]";
    p.defaults = {.lang = "en", .region = "US"};
    const struct {
        ProfileLocale locale;
        const char* url;
    } cases[] = {
        {.locale = {}, .url = "http://h/s?q=a&l=en"},
        {.locale = {.lang = "de"}, .url = "http://h/s?q=a&l=de&hl=de"},
        {.locale = {.region = "DE"}, .url = "http://h/s?q=a&l=en&gl=DE"},
        {.locale = {.lang = "pt-BR", .region = "wt_wt"},
         .url = "http://h/s?q=a&l=pt-BR&hl=pt-BR&gl=wt_wt&both=pt-BR_wt_wt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        EXPECT_EQ(ProfileRequestUrl(p, "http://h", "a", 0, c.locale), c.url);
    }
}

TEST(FillHeaderValue, FillsTheFieldsAsTheyStand) {
    const ProfileLocale defaults{.lang = "en", .region = "US"};
    EXPECT_EQ(FillHeaderValue("{lang}-{region},{lang};q=0.9", {}, defaults), "en-US,en;q=0.9");
    EXPECT_EQ(
        FillHeaderValue("{lang}-{region},{lang};q=0.9", {.lang = "de", .region = "AT"}, defaults),
        "de-AT,de;q=0.9");
    EXPECT_EQ(FillHeaderValue("{x} {lang {region}}{", {.region = "CH"}, defaults),
              "{x} {lang CH}{");
}

TEST(LocaleValueFault, TakesShortPlainCodesOnly) {
    for (const std::string& ok :
         std::vector<std::string>{"de", "pt-BR", "wt_wt", "419", std::string(35, 'a')}) {
        EXPECT_EQ(LocaleValueFault(ok), "") << ok;
    }
    for (const std::string& bad :
         std::vector<std::string>{"", "de DE", "de\r\nX: 1", "de;q=1", "d%C3", "é",
                                  std::string(36, 'a'), std::string("d\0e", 3)}) {
        EXPECT_NE(LocaleValueFault(bad), "") << bad;
    }
}

TEST(RetryAfterWait, DeltaSecondsAndDates) {
    const std::time_t now = 1'700'000'000;
    EXPECT_EQ(RetryAfterWait("30", now), std::chrono::seconds(30));
    EXPECT_EQ(RetryAfterWait(" 0 ", now), std::chrono::seconds(0));
    EXPECT_EQ(RetryAfterWait("120", now), std::chrono::seconds(120));
    EXPECT_EQ(RetryAfterWait("121", now), std::nullopt);
    EXPECT_EQ(RetryAfterWait("99999999999999999999999", now), std::nullopt);
    EXPECT_EQ(RetryAfterWait("", now), std::nullopt);
    EXPECT_EQ(RetryAfterWait("-5", now), std::nullopt);
    EXPECT_EQ(RetryAfterWait("soon", now), std::nullopt);
    EXPECT_EQ(RetryAfterWait(net::FormatInternetDate(now + 45), now), std::chrono::seconds(45));
    EXPECT_EQ(RetryAfterWait(net::FormatInternetDate(now - 45), now), std::chrono::seconds(0));
    EXPECT_EQ(RetryAfterWait(net::FormatInternetDate(now + 3600), now), std::nullopt);
}

// Pages come over one kept connection with the profile's own header fields,
// page i asks for its offset, the profile's pause comes before every page
// after the first, and the rows carry the unwrapped link, the title and the
// snippet.
TEST_F(ProfileRunTest, HarvestsPageAfterPageOverOneConnection) {
    Script script;
    for (const std::string& page :
         {Page({"a", "b"}, true), Page({"c"}, true), Page({"d", "e"}, false)}) {
        script.push_back(Step::AwaitRequest());
        script.push_back(Step::Send(Ok(page)));
    }
    ScriptedServer server({script});
    const RunSummary summary = run(server);

    EXPECT_EQ(summary.pagesFetched, 3);
    EXPECT_FALSE(summary.blocked);
    EXPECT_EQ(server.connectionCount(), 1u);
    ASSERT_EQ(host_.rows.size(), 5u);
    const ResultRow& first = host_.rows[0];
    EXPECT_EQ(first.pos, "1");
    EXPECT_EQ(first.anchor, "a & more");
    EXPECT_EQ(first.url, "http://a.example/");
    EXPECT_EQ(first.rawLink, "/r?u=http%3A%2F%2Fa.example%2F");
    EXPECT_EQ(first.snippet, "About a");
    EXPECT_EQ(first.engineSite, host_.siteTextValue);
    EXPECT_EQ(host_.rows[4].pos, "5");
    EXPECT_EQ(host_.secondStatus, "5 items");

    const std::string received = server.received(0);
    EXPECT_NE(received.find("GET /find?q=caf%C3%A9+%26+co&from=1&n=10 HTTP/1.1\r\n"),
              std::string::npos);
    EXPECT_NE(received.find("GET /find?q=caf%C3%A9+%26+co&from=11&n=10 HTTP/1.1\r\n"),
              std::string::npos);
    EXPECT_NE(received.find("GET /find?q=caf%C3%A9+%26+co&from=21&n=10 HTTP/1.1\r\n"),
              std::string::npos);
    EXPECT_NE(received.find("User-Agent: TinyBrowser/1.0\r\n"), std::string::npos);
    EXPECT_NE(received.find("Accept-Language: en-US,en;q=0.9\r\n"), std::string::npos);
    EXPECT_EQ(received.find("MSIE"), std::string::npos);
    EXPECT_EQ(received.find("Pragma"), std::string::npos);

    std::chrono::milliseconds waited{0};
    for (auto sleep : host_.sleeps) {
        waited += sleep;
    }
    EXPECT_GE(waited, std::chrono::milliseconds(2 * 1500));
    EXPECT_LE(waited, std::chrono::milliseconds(2 * 2000));
    // The client's own fields are back for the built-in passes.
    EXPECT_EQ(http_.Request.UserAgent, net::RequestFields().UserAgent);
    EXPECT_TRUE(http_.Request.extraHeaders.empty());
}

// A page is read in the encoding a browser would use: latin1 and us-ascii
// as windows-1252, and a label no browser knows passed over for the <meta>.
// Its curly quotes reach the row.
TEST_F(ProfileRunTest, ReadsThePageInTheEncodingABrowserWouldUse) {
    const struct {
        const char* contentType;
        const char* head;
    } cases[] = {
        {.contentType = "text/html; charset=latin1", .head = ""},
        {.contentType = "text/html; charset=US-ASCII", .head = ""},
        {.contentType = "text/html; charset=x-no-such-charset",
         .head = "<meta charset=iso-8859-1>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.contentType);
        const std::string page = std::string("<html><head>") + c.head +
                                 "</head><body><div class=\"hit\"><a href=\"http://a.example/\">"
                                 "\x93"
                                 "Caf\xE9\x94</a><p>x</p></div></body></html>";
        ScriptedServer server(
            {{Step::AwaitRequest(),
              Step::Send(HttpResponse("HTTP/1.1 200 OK", page,
                                      "Content-Type: " + std::string(c.contentType) + "\r\n"))}});
        host_.rows.clear();
        run(server);
        ASSERT_EQ(host_.rows.size(), 1u);
        EXPECT_EQ(host_.rows[0].anchor,
                  "\xE2\x80\x9C"
                  "Caf\xC3\xA9\xE2\x80\x9D");
    }
}

TEST_F(ProfileRunTest, StopsAtTheItemLimitAndAtAPageWithoutHitsOrNext) {
    {
        ScriptedServer server({testsupport::ReplyKeepOpen(Ok(Page({"a", "b", "c"}, true)))});
        host_.maxItemsValue = 2;
        run(server);
        EXPECT_EQ(host_.rows.size(), 2u);
    }
    {
        host_.rows.clear();
        host_.maxItemsValue = 0;
        ScriptedServer server({testsupport::ReplyKeepOpen(Ok(Page({}, false)))});
        const RunSummary summary = run(server);
        EXPECT_EQ(summary.pagesFetched, 1);
        EXPECT_TRUE(host_.rows.empty());
        EXPECT_EQ(host_.mainStatus, "Process completed sucessfull!");
    }
}

// A page with content but neither a hit nor a next link for the profile
// says so in the page notice and counts as unreadable; a page with a hit,
// or an empty one, does not. The next run clears the notice.
TEST_F(ProfileRunTest, APageWithNothingTheProfileReadsIsNoticed) {
    const std::string notice =
        "The page held no hits engine profile tiny can read: the engine may have changed its "
        "pages; the profile may need updating.";
    struct Case {
        const char* what;
        std::string body;
        std::size_t rows;
        std::string notice;
    } const cases[] = {
        {.what = "no hit, no next link", .body = Page({}, false), .rows = 0, .notice = notice},
        {.what = "another engine's page",
         .body = "<html><body><ol><li class='g'><a href='https://x.example/'>x</a></li></ol>"
                 "</body></html>",
         .rows = 0,
         .notice = notice},
        {.what = "a hit, no next link", .body = Page({"a"}, false), .rows = 1, .notice = ""},
        {.what = "an empty page", .body = "", .rows = 0, .notice = ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        host_.rows.clear();
        host_.pageNotice = "left from before";
        ScriptedServer server({testsupport::ReplyKeepOpen(Ok(c.body))});
        host_.siteTextValue = "[tiny] http://127.0.0.1:" + std::to_string(server.port());
        const std::vector<ProfileDefinition> profiles = {TestProfile()};
        SearchContext ctx{host_, http_, settings_, &profiles};
        const RunSummary summary = SearchRun(ctx);
        EXPECT_EQ(summary.pagesFetched, 1);
        EXPECT_EQ(summary.pagesUnreadable, c.notice.empty() ? 0 : 1);
        EXPECT_EQ(host_.rows.size(), c.rows);
        EXPECT_EQ(host_.mainStatus, "Process completed sucessfull!");
        EXPECT_EQ(host_.pageNotice, c.notice);
    }
}

// A server that answers every request with the same page, or with pages
// without hits that always offer a next one, or a profile whose URL does not
// change from page to page: the pass ends instead of asking without end. The
// run is stopped after 50 requests, so a pass that never ends fails the test
// rather than hanging it.
TEST_F(ProfileRunTest, APassThatGoesRoundInCirclesEnds) {
    constexpr std::size_t kGiveUpAfter = 50;
    struct Case {
        const char* what;
        std::string page;
        std::string path;
        std::size_t requests;
        std::size_t rows;
        std::string status;
    };
    const std::string path = TestProfile().path;
    const Case cases[] = {
        {.what = "every next link answered with the same page",
         .page = Page({"a", "b"}, true),
         .path = path,
         .requests = 2,
         .rows = 4,
         .status = "Pass ended: the page had the same hits as the page before."},
        {.what = "pages without hits, always with a next link",
         .page = Page({}, true),
         .path = path,
         .requests = 3,
         .rows = 0,
         .status = "Pass ended: 3 pages in a row without a hit."},
        {.what = "a path without {offset} asks for the same URL",
         .page = Page({"a", "b"}, true),
         .path = "/find?q={query}",
         .requests = 1,
         .rows = 2,
         .status = "Pass ended: the next page's URL was requested before in this pass."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Script script;
        for (std::size_t i = 0; i <= kGiveUpAfter; ++i) {
            script.push_back(Step::AwaitRequest());
            script.push_back(Step::Send(Ok(c.page)));
        }
        ScriptedServer server({script});
        const auto requests = [&server] {
            const std::string all = server.allReceived();
            std::size_t count = 0;
            for (std::size_t at = all.find("GET "); at != std::string::npos;
                 at = all.find("GET ", at + 1)) {
                ++count;
            }
            return count;
        };
        host_.rows.clear();
        host_.stop = false;
        host_.onProcessEvents = [this, &requests] {
            if (!host_.stop && requests() >= kGiveUpAfter) {
                StopSearch(host_, http_);
            }
        };
        ProfileDefinition profile = TestProfile();
        profile.path = c.path;
        run(server, profile);
        host_.onProcessEvents = nullptr;
        EXPECT_EQ(requests(), c.requests);
        EXPECT_EQ(host_.rows.size(), c.rows);
        EXPECT_EQ(host_.mainStatus, c.status);
        EXPECT_FALSE(host_.stop);
    }
}

// A page of hits whose next page is the form given.
std::string FormPage(const std::vector<std::string>& titles, const std::string& form) {
    std::string html = Page(titles, false);
    return html.insert(html.rfind("</body>"), form);
}

ProfileDefinition FormProfile() {
    ProfileDefinition profile = TestProfile();
    profile.path = "/html/?q={query}";
    profile.next.clear();
    profile.nextForm = "//form[@id='more']";
    return profile;
}

// Pages after the first are what each page's form asks for, sent as a
// browser sends them: a POST with the url-encoded body to the action made
// absolute, a GET with the body as the query of the page's own URL; the same
// action with another body is a new page, the same action and body again
// ends the pass.
TEST_F(ProfileRunTest, FollowsTheNextPageFormOnTheWire) {
    const std::string postAgain =
        "<form id=more action='/html/?from=form#top' method=POST>"
        "<input type=submit value=Next><input type=hidden name=q value='caf&eacute; &amp; co'>"
        "<input type=hidden name=s value=30><input type=hidden name=nextParams value=''></form>";
    const std::string pages[] = {
        FormPage({"a", "b"}, postAgain),
        FormPage({"c"},
                 "<form id=more><input name=s value=60><input type=checkbox name=x>"
                 "</form>"),
        FormPage({"d"},
                 "<form id=more action='/html/?from=form' method=post>"
                 "<input type=hidden name=q value='caf&eacute; &amp; co'>"
                 "<input type=hidden name=s value=90></form>"),
        FormPage({"e"}, postAgain),
    };
    Script script;
    for (const std::string& page : pages) {
        script.push_back(Step::AwaitRequest());
        script.push_back(Step::Send(Ok(page)));
    }
    ScriptedServer server({script});
    const RunSummary summary = run(server, FormProfile());

    EXPECT_EQ(summary.pagesFetched, 4);
    EXPECT_EQ(host_.rows.size(), 5u);
    EXPECT_EQ(host_.mainStatus, texts::kUrlAgain);
    EXPECT_EQ(server.connectionCount(), 1u);
    const std::string fields = "Host: 127.0.0.1:" + std::to_string(server.port()) +
                               "\r\nAccept: text/html, */*\r\nUser-Agent: TinyBrowser/1.0\r\n"
                               "Accept-Language: en-US,en;q=0.9\r\n\r\n";
    const auto get = [&fields](const std::string& target) {
        return "GET " + target + " HTTP/1.1\r\nContent-Type: text/html\r\n" + fields;
    };
    const auto post = [&fields](const std::string& target, const std::string& body) {
        return "POST " + target +
               " HTTP/1.1\r\nContent-Type: application/x-www-form-urlencoded\r\n"
               "Content-Length: " +
               std::to_string(body.size()) + "\r\n" + fields + body;
    };
    EXPECT_EQ(server.received(0),
              get("/html/?q=caf%C3%A9+%26+co") +
                  post("/html/?from=form", "q=caf%C3%A9+%26+co&s=30&nextParams=") +
                  get("/html/?s=60") + post("/html/?from=form", "q=caf%C3%A9+%26+co&s=90"));
}

// The search's language and region reach the path and the header fields;
// a value that could split a header line never goes out.
TEST_F(ProfileRunTest, SendsTheChosenLanguageAndRegion) {
    ProfileDefinition profile = TestProfile();
    profile.path = "/find?q={query}[&hl={lang}][&gl={region}]";
    profile.defaults = {.lang = "en", .region = "US"};
    profile.headers = {{"Accept-Language", "{lang}-{region},{lang};q=0.9"}};
    {
        ScriptedServer server({testsupport::ReplyKeepOpen(Ok(Page({"a"}, false)))});
        ctx_.locale = {.lang = "de", .region = "DE"};
        EXPECT_EQ(run(server, profile).pagesFetched, 1);
        const std::string received = server.received(0);
        EXPECT_EQ(received.substr(0, received.find("\r\n")),
                  "GET /find?q=caf%C3%A9+%26+co&hl=de&gl=DE HTTP/1.1");
        EXPECT_TRUE(received.ends_with("\r\nAccept-Language: de-DE,de;q=0.9\r\n\r\n")) << received;
    }
    {
        ScriptedServer server({testsupport::ReplyKeepOpen(Ok(Page({"a"}, false)))});
        ctx_.locale = {.lang = "de\r\nX-Injected: 1"};
        const RunSummary summary = run(server, profile);
        EXPECT_EQ(summary.pagesFetched, 0);
        EXPECT_EQ(server.connectionCount(), 0u);
        EXPECT_EQ(host_.mainStatus,
                  "Engine profile tiny cannot run: the language may hold only ASCII letters, "
                  "digits, \"-\" and \"_\"");
    }
}

ProfileDefinition ShippedDuckDuckGo() {
    for (ProfileDefinition& profile : ParseProfiles(BuiltInProfilesText(), "engines.json")) {
        if (profile.name == "duckduckgo") {
            profile.delayMinMs = 0;
            profile.delayExtraMs = 0;
            return profile;
        }
    }
    throw std::runtime_error("no shipped duckduckgo profile");
}

// The shipped DuckDuckGo profile on its real page: the first page by GET,
// the next one by posting the page's form to /html/ with its hidden fields
// in page order.
TEST_F(ProfileRunTest, DuckDuckGoPostsItsNextPageForm) {
    const std::string page =
        serp::ReadFile(ZORVANE_SERP_DATA "pages/duckduckgo-2020-fake-cache-bypass.html");
    Script script;
    for (int i = 0; i < 2; ++i) {
        script.push_back(Step::AwaitRequest());
        script.push_back(Step::Send(Ok(page)));
    }
    ScriptedServer server({script});
    host_.keywordValue = "Fake cache bypass";
    host_.maxItemsValue = 30;
    const RunSummary summary = run(server, ShippedDuckDuckGo());
    EXPECT_EQ(summary.pagesFetched, 2);
    ASSERT_EQ(host_.rows.size(), 30u);
    EXPECT_EQ(host_.rows[0].url,
              "https://medium.com/homullus/"
              "fake-and-free-bypass-on-cookie-with-cloudflare-edge-cache-workers-for-wordpress-"
              "72c36d23c174");
    const std::string received = server.received(0);
    EXPECT_EQ(received.substr(0, received.find("\r\n")), "GET /html/?q=Fake+cache+bypass HTTP/1.1");
    const std::string body =
        "q=Fake+cache+bypass&s=30&nextParams=&v=&o=json&dc=26&api=%2Fd.js&vqd=&kl=wt-wt";
    const std::size_t post = received.find("POST /html/ HTTP/1.1\r\n");
    ASSERT_NE(post, std::string::npos) << received;
    const std::string second = received.substr(post);
    EXPECT_NE(second.find("\r\nContent-Type: application/x-www-form-urlencoded\r\n"),
              std::string::npos);
    EXPECT_NE(second.find("\r\nContent-Length: " + std::to_string(body.size()) + "\r\n"),
              std::string::npos);
    EXPECT_EQ(second.substr(second.find("\r\n\r\n") + 4), body);
}

// DuckDuckGo's refusal is HTTP 403 with one line of text: the pass ends as
// blocked, with what the line says.
TEST_F(ProfileRunTest, DuckDuckGoRefusalIsABlockWithItsReason) {
    const std::string refusal =
        serp::ReadFile(ZORVANE_SERP_DATA "pages/duckduckgo-2020-block-preaching-to-the-choir.html");
    ASSERT_EQ(refusal.size(), 69u);
    ScriptedServer server({testsupport::Reply(HttpResponse(
        "HTTP/1.1 403 Forbidden", refusal, "Content-Type: text/html; charset=UTF-8\r\n"))});
    const RunSummary summary = run(server, ShippedDuckDuckGo());
    EXPECT_TRUE(summary.blocked);
    EXPECT_TRUE(host_.rows.empty());
    EXPECT_EQ(host_.mainStatus, "Blocked by duckduckgo: error page (error-lite) (HTTP 403)");
}

// A form over its bounds ends the pass with its rows and says why.
TEST_F(ProfileRunTest, AFormOverItsBoundsEndsThePass) {
    std::string form = "<form id=more method=post>";
    for (int i = 0; i <= 200; ++i) {
        form += "<input name=f value=1>";
    }
    ScriptedServer server({testsupport::ReplyKeepOpen(Ok(FormPage({"a"}, form + "</form>")))});
    const RunSummary summary = run(server, FormProfile());
    EXPECT_EQ(summary.pagesFetched, 1);
    EXPECT_EQ(host_.rows.size(), 1u);
    EXPECT_EQ(host_.mainStatus,
              "Pass ended: the next-page form has more than 200 fields (not sent).");
}

struct BlockCase {
    const char* name;
    std::vector<Script> scripts;
    std::size_t rows;
    bool blocked;
    std::string lastStatus;
    std::chrono::milliseconds waited;
};

// A refusal is told apart from an empty page and from a failure: a short
// Retry-After is waited out and the page asked again, a long one or none
// ends the pass as blocked, and a block page is recognised by its marks.
TEST_F(ProfileRunTest, BlockedPagesEndThePassWithTheReason) {
    const std::string tooMany =
        HttpResponse("HTTP/1.1 429 Too Many Requests", "slow down", "Retry-After: 7\r\n");
    const std::string forbidden = HttpResponse("HTTP/1.1 403 Forbidden", "no");
    std::vector<BlockCase> cases;
    cases.push_back({"retry after, then the page",
                     {testsupport::Reply(tooMany), testsupport::Reply(Ok(Page({"a"}, false)))},
                     1,
                     false,
                     "Process completed sucessfull!",
                     std::chrono::milliseconds(7000)});
    cases.push_back({"retry after, every time",
                     {testsupport::Reply(tooMany)},
                     0,
                     true,
                     "Blocked by tiny: HTTP 429",
                     std::chrono::milliseconds(14000)});
    cases.push_back(
        {"retry after too long",
         {testsupport::Reply(HttpResponse("HTTP/1.1 503 Busy", "", "Retry-After: 3600\r\n"))},
         0,
         true,
         "Blocked by tiny: HTTP 503",
         std::chrono::milliseconds(0)});
    cases.push_back({"forbidden",
                     {testsupport::Reply(forbidden)},
                     0,
                     true,
                     "Blocked by tiny: HTTP 403",
                     std::chrono::milliseconds(0)});
    cases.push_back({"captcha page",
                     {testsupport::Reply(Ok("<form id=captcha><div class=hit><a href=x>t</a>"
                                            "</div></form>"))},
                     0,
                     true,
                     "Blocked by tiny: CAPTCHA page",
                     std::chrono::milliseconds(0)});
    for (BlockCase& c : cases) {
        SCOPED_TRACE(c.name);
        host_.rows.clear();
        host_.sleeps.clear();
        ScriptedServer server(c.scripts);
        const RunSummary summary = run(server);
        EXPECT_EQ(host_.rows.size(), c.rows);
        EXPECT_EQ(summary.blocked, c.blocked);
        EXPECT_EQ(summary.pagesFailed, 0);
        EXPECT_EQ(host_.mainStatus, c.lastStatus);
        std::chrono::milliseconds waited{0};
        for (auto sleep : host_.sleeps) {
            waited += sleep;
        }
        EXPECT_EQ(waited, c.waited);
    }
}

// A status that the profile does not count as a block is a failed page like
// any other: a failed first page ends the pass, not as blocked.
TEST_F(ProfileRunTest, OtherFailuresAreNotBlocks) {
    ScriptedServer server({testsupport::Reply(HttpResponse("HTTP/1.1 500 Oops", "x"))});
    const RunSummary summary = run(server);
    EXPECT_FALSE(summary.blocked);
    EXPECT_EQ(summary.pagesFailed, 1);
    EXPECT_EQ(host_.mainStatus.rfind("Connection error", 0), 0u);
}

TEST_F(ProfileRunTest, StopDuringThePauseEndsThePass) {
    ScriptedServer server({testsupport::ReplyKeepOpen(Ok(Page({"a"}, true)))});
    host_.onProcessEvents = [this] {
        if (!host_.sleeps.empty()) {
            host_.stop = true;
        }
    };
    const RunSummary summary = run(server);
    EXPECT_EQ(summary.pagesFetched, 1);
    EXPECT_EQ(host_.rows.size(), 1u);
}

// A page of hits whose profile walks the whole page for each of them.
struct RunawayPage {
    ProfileDefinition profile;
    std::string html;
};

RunawayPage Runaway() {
    RunawayPage page{.profile = TestProfile(), .html = "<html><body>"};
    page.profile.hits = "//div[@class='hit'][count(//div) > 0]";
    for (int i = 0; i < 20000; ++i) {
        page.html += "<div class='hit'><a href='/r?u=x'>t</a></div>";
    }
    page.html += "<a id='next' href='/find?from=11'>Next</a></body></html>";
    return page;
}

// A page whose expressions outrun their budget fails with a status saying
// so, and the pass ends: the same page would come again.
TEST_F(ProfileRunTest, APageOverItsBudgetFailsAndEndsThePass) {
    const RunawayPage page = Runaway();
    ScriptedServer server({testsupport::ReplyKeepOpen(Ok(page.html))});
    const RunSummary summary = run(server, page.profile);
    EXPECT_EQ(summary.pagesFetched, 0);
    EXPECT_EQ(summary.pagesFailed, 1);
    EXPECT_TRUE(host_.rows.empty());
    EXPECT_EQ(host_.mainStatus.rfind("Page not read whole: the profile's XPath expressions took "
                                     "more than ",
                                     0),
              0U)
        << host_.mainStatus;
}

// Stop while a page is being read ends the pass at once; the window's
// events are handled meanwhile.
TEST_F(ProfileRunTest, StopWhileReadingAPageEndsThePassAtOnce) {
    const RunawayPage page = Runaway();
    ScriptedServer server({testsupport::ReplyKeepOpen(Ok(page.html))});
    std::chrono::steady_clock::time_point stoppedAt;
    int eventsWhileReading = 0;
    host_.onProcessEvents = [&] {
        if (host_.mainStatus == "Process completed sucessfull!" && ++eventsWhileReading == 3) {
            host_.stop = true;
            stoppedAt = std::chrono::steady_clock::now();
        }
    };
    const RunSummary summary = run(server, page.profile);
    const auto stopTook = std::chrono::steady_clock::now() - stoppedAt;
    ASSERT_TRUE(host_.stop);
    EXPECT_LT(stopTook, std::chrono::milliseconds(500));
    EXPECT_EQ(summary.pagesFetched, 0);
    EXPECT_EQ(summary.pagesFailed, 0);
    EXPECT_TRUE(host_.rows.empty());
    EXPECT_EQ(host_.mainStatus, "Process aborted by user.");
}

// A page that takes longer than its time fails with a text saying so; the
// host's events were handled meanwhile.
TEST(ExtractWhileResponsive, APageOverItsTimeFails) {
    const RunawayPage page = Runaway();
    FakeHost host;
    const std::optional<ProfilePage> result =
        ExtractWhileResponsive(std::make_shared<const CompiledProfile>(page.profile), page.html,
                               host, {}, std::chrono::milliseconds(0));
    ASSERT_TRUE(result.has_value());
    EXPECT_TRUE(result->hits.empty());
    EXPECT_EQ(result->unreadReason, "Page not read whole: reading it took longer than 0 s");
    EXPECT_GE(host.processEventsCalls, 1);
}

// Hits a page held but the grid did not get are named after its rows.
TEST_F(ProfileRunTest, TellsOfHitsLeftOut) {
    std::string many = "<html><body>";
    for (int i = 0; i < 1001; ++i) {
        many += "<div class='hit'><a href='/r?u=x'>t</a></div>";
    }
    const std::string longTitle(70 * 1024, 'x');
    const struct {
        const char* name;
        std::string page;
        std::size_t rows;
        const char* status;
    } cases[] = {
        {.name = "over the cap",
         .page = many,
         .rows = 1000,
         .status = "Only the first 1000 hits of the page were taken"},
        {.name = "too long",
         .page = "<div class='hit'><a href='/r?u=x'>" + longTitle +
                 "</a></div><div class='hit'><a href='/r?u=y'>t</a></div>",
         .rows = 1,
         .status = "1 hit left out: text or link longer than 64 KiB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        host_.rows.clear();
        ScriptedServer server({testsupport::ReplyKeepOpen(Ok(c.page))});
        const RunSummary summary = run(server);
        EXPECT_EQ(summary.pagesFetched, 1);
        EXPECT_EQ(host_.rows.size(), c.rows);
        EXPECT_EQ(host_.mainStatus, c.status);
    }
}

}  // namespace
}  // namespace search

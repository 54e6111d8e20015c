#include "search/profile_run.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fake_host.h"
#include "net/http_client.h"
#include "net/internet_date.h"
#include "search/profile_worker.h"
#include "search/search_run.h"
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

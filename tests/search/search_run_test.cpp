#include "search/search_run.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>

#include "run_fixture.h"
#include "search/profiles/profile_catalog.h"

namespace search {
namespace {

using testing::RunFixture;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class SearchRunTest : public RunFixture {};

struct EngineCase {
    const char* name;  // the engine name the dispatch looks for
    std::size_t rowsPerPage;
    bool writesDebugPage;
};

// Two pages of every engine's markup, tricky hits included: the rows come
// numbered in one sequence, with the demo's capitalised scheme kept, its
// trailing slashes dropped and its skipped hits left out.
TEST_F(SearchRunTest, EveryEngineHarvestsItsPages) {
    const EngineCase cases[] = {
        {.name = "google", .rowsPerPage = 100, .writesDebugPage = false},
        {.name = "yahoo", .rowsPerPage = 100, .writesDebugPage = false},
        {.name = "live", .rowsPerPage = 100, .writesDebugPage = false},
        {.name = "altavista", .rowsPerPage = 50, .writesDebugPage = true},
    };
    for (const EngineCase& c : cases) {
        host_.siteTextValue = site(c.name);
        host_.keywordValue = "red \"car\"&pages=2";
        std::filesystem::remove(settings_.debugPageFile);
        SearchRun(ctx_);
        ASSERT_EQ(host_.rows.size(), 2 * c.rowsPerPage) << c.name;
        for (std::size_t i = 0; i < host_.rows.size(); ++i) {
            ASSERT_EQ(host_.rows[i].pos, std::to_string(i + 1)) << c.name;
            ASSERT_EQ(host_.rows[i].engineSite, site(c.name));
        }
        EXPECT_EQ(host_.rows[0].url, "http://www.site1.example/redcar/page1.html") << c.name;
        EXPECT_EQ(host_.rows[0].anchor, "\"red \"car\"\" 'quoted' result 1") << c.name;
        EXPECT_EQ(host_.rows[2].anchor, "red \"car\" <guide> result 3 new") << c.name;
        EXPECT_EQ(host_.rows[4].url, "HTTP://WWW.SITE5.EXAMPLE/redcar/page5.html") << c.name;
        EXPECT_EQ(host_.rows[6].url, "http://www.site7.example/redcar") << c.name;
        EXPECT_EQ(host_.secondStatus, std::to_string(host_.rows.size()) + " items");
        EXPECT_EQ(host_.mainStatus, "Process completed sucessfull!");
        EXPECT_EQ(std::filesystem::exists(settings_.debugPageFile), c.writesDebugPage) << c.name;
    }
    // Yahoo's redirector hides the scheme's colon as "%3a"; an upper-case
    // escape elsewhere in the link stays.
    host_.siteTextValue = site("yahoo");
    host_.keywordValue = "car&pages=1";
    SearchRun(ctx_);
    EXPECT_EQ(host_.rows[3].url, "http://www.site4.example/car/page4.html?ref%3Ayahoo");
}

// A page that arrives with content in which the pass recognises neither a
// hit nor its next link, such as a real 2022 Google page for the built-in
// Google pass, keeps the described status and sets the page notice; a page
// it reads, an empty one, or one whose hits the limit reached by the pass
// before leaves out does not. Every run starts without a notice.
TEST_F(SearchRunTest, APageThePassCannotReadIsNoticed) {
    const std::string google2022 =
        ReadFile(ZORVANE_SERP_DATA "pages/google-2022-evan-colborne.html");
    std::string served;
    demo::LoopbackServer saved([&served](const demo::HttpRequest&) {
        demo::HttpReply reply;
        reply.contentType = "text/html; charset=utf-8";
        reply.body = served;
        return reply;
    });
    saved.Start();
    const std::string savedSite = "http://google@127.0.0.1:" + std::to_string(saved.port());
    const std::string notice =
        "The page held no hits this pass can read: the engine may have changed its pages; an "
        "engine profile may serve.";
    struct Case {
        const char* what;
        std::string page;  // served for savedSite
        std::string site;
        std::string keyword;
        double maxItems;
        std::size_t rows;
        std::string notice;
    } const cases[] = {
        {.what = "a 2022 Google page",
         .page = google2022,
         .site = savedSite,
         .keyword = "Evan Colborne",
         .maxItems = 0,
         .rows = 0,
         .notice = notice},
        {.what = "an empty page",
         .page = "",
         .site = savedSite,
         .keyword = "x",
         .maxItems = 0,
         .rows = 0,
         .notice = ""},
        {.what = "the demo's last page",
         .page = "",
         .site = site("google"),
         .keyword = "car&pages=1",
         .maxItems = 0,
         .rows = 100,
         .notice = ""},
        {.what = "a page whose hits the limit leaves out",
         .page = "",
         .site = site("google.yahoo"),
         .keyword = "car&pages=1",
         .maxItems = 100,
         .rows = 100,
         .notice = ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        served = c.page;
        host_.siteTextValue = c.site;
        host_.keywordValue = c.keyword;
        host_.maxItemsValue = c.maxItems;
        host_.pageNotice = "left from the run before";
        const RunSummary summary = SearchRun(ctx_);
        EXPECT_EQ(host_.rows.size(), c.rows);
        EXPECT_EQ(host_.mainStatus, "Process completed sucessfull!");
        EXPECT_EQ(host_.pageNotice, c.notice);
        EXPECT_GE(summary.pagesFetched, 1);
        EXPECT_EQ(summary.pagesUnreadable, c.notice.empty() ? 0 : 1);
    }
    saved.Stop();
}

TEST_F(SearchRunTest, KeywordReachesTheUrlWithSpacesAndQuotesEncoded) {
    host_.siteTextValue = site("google");
    host_.keywordValue = "a \"b\"&pages=1";
    SearchRun(ctx_);
    const demo::HttpRequest sent = engine_.requests().at(0);
    EXPECT_EQ(sent.target, "/search?as_q=a+%22b%22%26pages%3D1&num=100&start=0");
    // The engine name rides in the user info of the site line for the
    // dispatch; it never reaches the server.
    EXPECT_EQ(sent.header("Host"), "127.0.0.1:" + std::to_string(engine_.port()));
    EXPECT_EQ(sent.header("Authorization"), "");
}

TEST_F(SearchRunTest, LimitEndsThePassAtPageEnd) {
    host_.siteTextValue = site("google");
    host_.keywordValue = "car";
    host_.maxItemsValue = 10;
    SearchRun(ctx_);
    EXPECT_EQ(host_.rows.size(), 10u);
    EXPECT_EQ(requestCount(), 1u);
}

// The backlinks pass scans a whole page before it looks at the limit, and
// writes every page to the debug file.
TEST_F(SearchRunTest, BacklinksOvershootTheLimitAndKeepTheirLabel) {
    host_.siteTextValue = "google backlinks";
    host_.keywordValue = "http://zorvane.example/";
    host_.maxItemsValue = 10;
    SearchRun(ctx_);
    // The Google pass that "google" also selects fails on its first page.
    const std::vector<demo::HttpRequest> requests = engine_.requests();
    ASSERT_EQ(requests.size(), 1u);
    // A URL keyword reaches the query encoded once, with the scheme that
    // the pass's own encoder found in it.
    const std::string query = "link%3Ahttp%3A%2F%2Fzorvane.example%2F";
    EXPECT_EQ(requests[0].target,
              "/search?num=100&filter=0&lr=&as_qdr=all&q=" + query + "&start=0");
    ASSERT_EQ(host_.rows.size(), 102u);  // image and relative hits count for backlinks
    EXPECT_EQ(host_.rows[0].url, "http://images.google.example/images?q=" + query);
    EXPECT_EQ(host_.rows[1].url, "/products?q=" + query);
    for (const ResultRow& row : host_.rows) {
        ASSERT_EQ(row.engineSite, "Google Backlink");
    }
    EXPECT_NE(ReadFile(settings_.debugPageFile).find("<li class=g"), std::string::npos);
}

// The backlinks query is the keyword with its spaces and double quotes
// replaced, then encoded once by the pass's own encoder: a space arrives as
// %2B (an encoded "+"), a double quote as an encoded "%22", and a keyword
// that is an address carries its encoded scheme once.
TEST_F(SearchRunTest, BacklinksQueryIsTheKeywordTextEncodedOnce) {
    // Percent-decoding the query once gives back the text that was encoded.
    const auto decodedOnce = [](const std::string& text) {
        std::string out;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '%' && i + 2 < text.size()) {
                out.push_back(static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)));
                i += 2;
            } else {
                out.push_back(text[i]);
            }
        }
        return out;
    };
    struct Case {
        std::string keyword;
        std::string query;    // between "q=link%3A" and "&start="
        std::string decoded;  // the query decoded once
    };
    const Case cases[] = {
        {.keyword = "a b", .query = "http%3A%2F%2Fa%2Bb", .decoded = "http://a+b"},
        {.keyword = "\"a\"",
         .query = "http%3A%2F%2F%25%32%32a%25%32%32",
         .decoded = "http://%22a%22"},
        {.keyword = "http://site.example/page",
         .query = "http%3A%2F%2Fsite.example%2Fpage",
         .decoded = "http://site.example/page"},
        {.keyword = "http://site.example/a b?q=\"x\"",
         .query = "http%3A%2F%2Fsite.example%2Fa%2Bb%3Fq%3D%25%32%32x%25%32%32",
         .decoded = "http://site.example/a+b?q=%22x%22"},
        {.keyword = "HTTP://x",
         .query = "http%3A%2F%2FHTTP%3A%2F%2Fx",
         .decoded = "http://HTTP://x"},
        {.keyword = "caf\xC3\xA9 1",
         .query = "http%3A%2F%2Fcaf%C3%A9%2B%31",
         .decoded = "http://caf\xC3\xA9+1"},
    };
    host_.siteTextValue = "google backlinks";
    host_.maxItemsValue = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keyword);
        host_.keywordValue = c.keyword;
        const std::size_t before = requestCount();
        SearchRun(ctx_);
        ASSERT_EQ(requestCount(), before + 1);
        const std::string target = engine_.requests().back().target;
        EXPECT_EQ(target,
                  "/search?num=100&filter=0&lr=&as_qdr=all&q=link%3A" + c.query + "&start=0");
        EXPECT_EQ(decodedOnce(c.query), c.decoded);
    }
}

TEST_F(SearchRunTest, AnUnwritableDebugPageNeverBreaksTheHarvest) {
    settings_.debugPageFile = folder_ + "no/such/folder/test.html";
    host_.siteTextValue = site("altavista");
    host_.keywordValue = "car&pages=2";
    SearchRun(ctx_);
    EXPECT_EQ(host_.rows.size(), 100u);

    // A link planted where the debug page goes is not followed.
    const std::string victim = folder_ + "debug/victim";
    std::ofstream(victim) << "precious";
    settings_.debugPageFile = folder_ + "debug/test.html";
    std::filesystem::create_symlink(victim, settings_.debugPageFile);
    SearchRun(ctx_);
    EXPECT_EQ(ReadFile(victim), "precious");
    EXPECT_EQ(host_.rows.size(), 100u);
}

TEST_F(SearchRunTest, StopBetweenPagesEndsThePassAtPageEnd) {
    host_.siteTextValue = site("google");
    host_.keywordValue = "car";
    host_.onProcessEvents = [this] {
        if (host_.rows.size() == 150 && !host_.stop) {
            StopSearch(host_, http_);
        }
    };
    SearchRun(ctx_);
    EXPECT_EQ(host_.rows.size(), 200u);  // the rest of page 2 still comes in
    EXPECT_EQ(requestCount(), 2u);
    EXPECT_EQ(host_.mainStatus, "Proccess aborted by user.");
}

TEST_F(SearchRunTest, StopDuringADownloadEndsEveryPassOfTheRun) {
    host_.siteTextValue = site("google.yahoo");
    host_.keywordValue = "car&stall=1";
    host_.onProcessEvents = [this] {
        const bool secondPage = host_.mainStatus.find("start=100") != std::string::npos;
        if (secondPage && host_.gaugeValue > 0 && !host_.stop) {
            StopSearch(host_, http_);
        }
    };
    SearchRun(ctx_);
    EXPECT_EQ(host_.rows.size(), 100u);
    EXPECT_EQ(requestCount(), 2u);  // no Yahoo request after the stop
    EXPECT_TRUE(host_.mainStatus == "Process aborted by user." ||
                host_.mainStatus == "Proccess aborted by user.")
        << host_.mainStatus;
}

TEST_F(SearchRunTest, AFailedLaterPageMovesOnToTheNext) {
    host_.siteTextValue = site("google");
    host_.keywordValue = "car&pages=4&fail=1";
    RunSummary summary = SearchRun(ctx_);
    EXPECT_EQ(host_.rows.size(), 300u);
    EXPECT_EQ(requestCount(), 4u);
    EXPECT_EQ(host_.rows[100].url, "http://www.site201.example/car/page201.html");
    EXPECT_EQ(summary.pagesFetched, 3);
    EXPECT_EQ(summary.pagesFailed, 1);

    host_.keywordValue = "car&pages=4&fail=0";
    summary = SearchRun(ctx_);
    EXPECT_EQ(summary.pagesFetched, 0);
    EXPECT_EQ(summary.pagesFailed, 1);
    EXPECT_TRUE(host_.rows.empty());
    EXPECT_EQ(requestCount(), 5u);  // a failed first page ends the pass
    EXPECT_EQ(host_.mainStatus,
              "Connection error, check if you are connected and url exists. HTTP/1.1 503 Service "
              "Unavailable");
}

TEST_F(SearchRunTest, SeveralPassesNumberTheirRowsInOneSequence) {
    host_.siteTextValue = "http://yahoo.live@127.0.0.1:" + std::to_string(engine_.port());
    host_.keywordValue = "car&pages=1";
    SearchRun(ctx_);
    ASSERT_EQ(host_.rows.size(), 200u);
    EXPECT_EQ(host_.rows[100].pos, "101");
    EXPECT_EQ(host_.rows[100].url, "http://www.site1.example/car/page1.html");
    EXPECT_EQ(engine_.requests()[1].target.rfind("/results.aspx?q=car", 0), 0u);
}

TEST_F(SearchRunTest, ASiteChangedDuringTheRunTakesEffectAtOnce) {
    demo::LoopbackServer other{
        [](const demo::HttpRequest& r) { return demo::DemoReply(r, demo::kDefaultPageLimit); }};
    other.Start();
    const std::string otherSite = "http://google@127.0.0.1:" + std::to_string(other.port());
    host_.siteTextValue = site("google");
    host_.keywordValue = "car&pages=2";
    host_.onProcessEvents = [&] {
        if (host_.rows.size() == 50) {
            host_.siteTextValue = otherSite;
        }
    };
    SearchRun(ctx_);
    ASSERT_EQ(host_.rows.size(), 200u);
    EXPECT_EQ(host_.rows[49].engineSite, site("google"));
    EXPECT_EQ(host_.rows[50].engineSite, otherSite);
    EXPECT_EQ(requestCount(), 1u);
    EXPECT_EQ(other.requests().size(), 1u);
    other.Stop();
}

// A pass reads the keyword once, when it starts; the dispatch reads the site
// text again before each of its tests.
TEST_F(SearchRunTest, KeywordIsReadPerPassAndTheSiteTextPerDispatchTest) {
    host_.siteTextValue = site("google");
    host_.keywordValue = "car&pages=2";
    host_.onProcessEvents = [this] {
        if (host_.rows.size() == 50) {
            host_.keywordValue = "bike&pages=1";
            host_.siteTextValue = site("google.yahoo");
        }
    };
    SearchRun(ctx_);
    EXPECT_EQ(host_.rows.size(), 300u);
    const std::vector<demo::HttpRequest> requests = engine_.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[1].target, "/search?as_q=car%26pages%3D2&num=100&start=100");
    EXPECT_EQ(requests[2].target, "/search?p=bike%26pages%3D1&n=100&pstart=1&b=1");
}

TEST_F(SearchRunTest, DispatchIsCaseSensitiveAndClearsTheRun) {
    host_.rows.resize(3);
    host_.stop = true;
    host_.mainStatus = "old";
    host_.secondStatus = "3 items";
    host_.siteTextValue = "http://Google@127.0.0.1:" + std::to_string(engine_.port());
    SearchRun(ctx_);
    EXPECT_TRUE(host_.rows.empty());
    EXPECT_FALSE(host_.stop);
    // Nothing ran, and the run says so rather than ending in silence.
    EXPECT_EQ(host_.mainStatus, "This site line runs no engine pass.");
    EXPECT_EQ(host_.secondStatus, "3 items");
    EXPECT_EQ(requestCount(), 0u);
}

// With the shipped profiles at hand, a line that names a built-in pass runs
// that pass exactly as without them (the shipped Google profiles select
// "google" too, but only by tag).
TEST_F(SearchRunTest, ProfilesLeaveTheBuiltInPassesAsTheyAre) {
    const ProfileCatalog catalog = LoadProfileCatalog(folder_, "");
    ctx_.profiles = &catalog.profiles;
    host_.siteTextValue = site("google");
    host_.keywordValue = "red car&pages=2";
    SearchRun(ctx_);
    ASSERT_EQ(host_.rows.size(), 200u);
    EXPECT_EQ(host_.rows[0].url, "http://www.site1.example/redcar/page1.html");
    EXPECT_EQ(host_.rows[0].engineSite, site("google"));
    ASSERT_EQ(requestCount(), 2u);
    EXPECT_EQ(engine_.requests()[0].target, "/search?as_q=red+car%26pages%3D2&num=100&start=0");
}

TEST_F(SearchRunTest, ATagRunsWhatItNamesAndNothingElse) {
    ProfileCatalog catalog = LoadProfileCatalog(folder_, "");
    ctx_.profiles = &catalog.profiles;
    host_.keywordValue = "car&pages=1";

    // A built-in pass named by the tag, on a line that does not hold its name.
    host_.siteTextValue = "[live] http://127.0.0.1:" + std::to_string(engine_.port());
    SearchRun(ctx_);
    EXPECT_EQ(host_.rows.size(), 100u);
    EXPECT_EQ(host_.rows[0].engineSite, host_.siteTextValue);

    // A name that is nothing is reported, and nothing runs.
    const std::size_t before = requestCount();
    host_.siteTextValue = "[nosuch] " + site("google");
    SearchRun(ctx_);
    EXPECT_TRUE(host_.rows.empty());
    EXPECT_EQ(host_.mainStatus,
              "This site line runs no engine pass. Unknown engine profile: nosuch");
    EXPECT_EQ(requestCount(), before);

    // Beside a name that runs, the unknown one is named as before and the
    // line runs.
    host_.mainStatusHistory.clear();
    host_.siteTextValue = "[nosuch, live] http://127.0.0.1:" + std::to_string(engine_.port());
    SearchRun(ctx_);
    EXPECT_EQ(host_.rows.size(), 100u);
    EXPECT_NE(std::find(host_.mainStatusHistory.begin(), host_.mainStatusHistory.end(),
                        "Unknown engine profile: nosuch"),
              host_.mainStatusHistory.end());
}

// A user's profile named like a built-in pass runs in its place wherever the
// pass would run.
TEST_F(SearchRunTest, AProfileNamedLikeAPassStandsInForIt) {
    ProfileDefinition standIn;
    standIn.name = "google";
    standIn.path = "/profile?q={query}&start={offset}";
    standIn.hits = "//div[@class='none']";
    standIn.link = "a/@href";
    standIn.title = "a";
    const std::vector<ProfileDefinition> profiles{standIn};
    ctx_.profiles = &profiles;
    host_.siteTextValue = site("google");
    host_.keywordValue = "car";
    SearchRun(ctx_);
    ASSERT_EQ(requestCount(), 1u);
    EXPECT_EQ(engine_.requests()[0].target, "/profile?q=car&start=0");
}

TEST_F(SearchRunTest, StopWithoutARunOnlySetsTheFlagAndText) {
    StopSearch(host_, http_);
    EXPECT_TRUE(host_.stop);
    EXPECT_EQ(host_.mainStatus, "Proccess aborted by user.");
    host_.siteTextValue = site("live");
    host_.keywordValue = "car&pages=1";
    SearchRun(ctx_);
    EXPECT_EQ(host_.rows.size(), 100u);
}

TEST(RetryWaitTest, DoublesFromASecondUpToAMinute) {
    using std::chrono::seconds;
    const struct {
        std::int64_t failuresInARow;
        seconds wait;
        const char* text;
    } cases[] = {
        {.failuresInARow = 1, .wait = seconds(1), .text = "Retrying in 1 s..."},
        {.failuresInARow = 2, .wait = seconds(2), .text = "Retrying in 2 s..."},
        {.failuresInARow = 6, .wait = seconds(32), .text = "Retrying in 32 s..."},
        {.failuresInARow = 7, .wait = seconds(60), .text = "Retrying in 60 s..."},
        {.failuresInARow = 64, .wait = seconds(60), .text = "Retrying in 60 s..."},
        {.failuresInARow = INT64_MAX, .wait = seconds(60), .text = "Retrying in 60 s..."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RetryWait(c.failuresInARow), c.wait) << c.failuresInARow;
        EXPECT_EQ(RetryStatusText(RetryWait(c.failuresInARow)), c.text);
    }
}

// An engine that answers from a list of Google pages, one a request, the
// last one for every request beyond the list: a server that goes round in
// circles. The run is stopped after kGiveUpAfter requests, so a pass that
// never ends fails the test rather than hanging it.
class LoopTest : public RunFixture {
protected:
    static constexpr std::size_t kGiveUpAfter = 50;

    void SetUp() override {
        RunFixture::SetUp();
        looping_.Start();
        host_.onProcessEvents = [this] {
            if (looping_.requests().size() >= kGiveUpAfter && !host_.stop) {
                StopSearch(host_, http_);
            }
        };
    }
    void TearDown() override {
        looping_.Stop();
        RunFixture::TearDown();
    }

    // A Google page with a hit per name, and the next-page link when asked.
    static std::string Page(const std::vector<std::string>& names, bool next = true) {
        std::string html = "<html><body><ol>";
        for (const std::string& name : names) {
            html += "<li class=g><h3><a href=\"http://" + name + ".example/\">" + name +
                    "</a></h3></li>";
        }
        html += "</ol>";
        if (next) {
            html += "<a href=\"/next\"><span>&gt;</span>Next</a>";
        }
        return html + "</body></html>";
    }

    std::size_t runOn(std::vector<std::string> pages) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            pages_ = std::move(pages);
        }
        const std::size_t before = looping_.requests().size();
        host_.siteTextValue = "http://google@127.0.0.1:" + std::to_string(looping_.port());
        host_.keywordValue = "car";
        SearchRun(ctx_);
        return looping_.requests().size() - before;
    }

    std::mutex lock_;
    std::vector<std::string> pages_;
    demo::LoopbackServer looping_{[this](const demo::HttpRequest& r) {
        std::lock_guard<std::mutex> guard(lock_);
        // The page number is in the offset: start=0, 100, 200...
        const std::size_t at = r.target.rfind("start=");
        const std::size_t index =
            at == std::string::npos ? 0 : std::stoul(r.target.substr(at + 6)) / 100;
        return demo::HttpReply{200, "OK", "text/html",
                               pages_.at(std::min(index, pages_.size() - 1))};
    }};
};

TEST_F(LoopTest, APassThatGoesRoundInCirclesEnds) {
    const std::string same = "Pass ended: the page had the same hits as the page before.";
    const std::string empty = "Pass ended: 3 pages in a row without a hit.";
    struct Case {
        const char* what;
        std::vector<std::string> pages;
        std::size_t requests;
        std::size_t rows;
        std::string status;
    };
    const Case cases[] = {
        {.what = "every next link answered with the same page",
         .pages = {Page({"a", "b", "c"})},
         .requests = 2,
         .rows = 6,
         .status = same},
        {.what = "new pages, then the last one again and again",
         .pages = {Page({"a"}), Page({"b"}), Page({"c"})},
         .requests = 4,
         .rows = 4,
         .status = same},
        {.what = "pages without hits, always with a next link",
         .pages = {Page({})},
         .requests = 3,
         .rows = 0,
         .status = empty},
        {.what = "a hit between empty pages starts the count again",
         .pages = {Page({}), Page({}), Page({"a"}), Page({}), Page({}), Page({})},
         .requests = 6,
         .rows = 1,
         .status = empty},
        {.what = "new hits every page until the last page",
         .pages = {Page({"a"}), Page({"b"}), Page({}), Page({"c"}), Page({"d"}, false)},
         .requests = 5,
         .rows = 4,
         .status = "Process completed sucessfull!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(runOn(c.pages), c.requests);
        EXPECT_EQ(host_.rows.size(), c.rows);
        EXPECT_EQ(host_.mainStatus, c.status);
        EXPECT_FALSE(host_.stop);
    }
}

// A Google engine whose pages succeed or fail as scripted, one character a
// request: '+' the demo page, '-' a 503.
class RetryTest : public RunFixture {
protected:
    void SetUp() override {
        RunFixture::SetUp();
        scripted_.Start();
    }
    void TearDown() override {
        scripted_.Stop();
        RunFixture::TearDown();
    }

    // The pass asks for as many pages as the script has, the last one
    // without a next-page link.
    void RunScript(const std::string& script) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            script_ = script;
            served_ = 0;
        }
        host_.siteTextValue = "http://google@127.0.0.1:" + std::to_string(scripted_.port());
        host_.keywordValue = "car&pages=" + std::to_string(script.size());
        host_.mainStatusHistory.clear();
        host_.mainStatusTimes.clear();
        host_.sleeps.clear();
        SearchRun(ctx_);
    }

    // How long the clock moved on between one request and the next.
    std::vector<std::chrono::seconds> gapsBetweenRequests() const {
        std::vector<std::chrono::seconds> gaps;
        std::optional<std::chrono::milliseconds> last;
        for (std::size_t i = 0; i < host_.mainStatusHistory.size(); ++i) {
            if (host_.mainStatusHistory[i].rfind("Getting URL: ", 0) == 0) {
                if (last) {
                    gaps.push_back(std::chrono::duration_cast<std::chrono::seconds>(
                        host_.mainStatusTimes[i] - *last));
                }
                last = host_.mainStatusTimes[i];
            }
        }
        return gaps;
    }

    std::vector<std::string> retryTexts() const {
        std::vector<std::string> texts;
        for (const std::string& text : host_.mainStatusHistory) {
            if (text.rfind("Retrying in ", 0) == 0) {
                texts.push_back(text);
            }
        }
        return texts;
    }

    std::mutex lock_;
    std::string script_;
    std::size_t served_ = 0;
    demo::LoopbackServer scripted_{[this](const demo::HttpRequest& r) {
        std::lock_guard<std::mutex> guard(lock_);
        if (served_ < script_.size() && script_[served_++] == '-') {
            demo::HttpReply failure;
            failure.status = 503;
            failure.reason = "Service Unavailable";
            return failure;
        }
        return demo::DemoReply(r, demo::kDefaultPageLimit);
    }};
};

// Every failed page in a row doubles the wait before the next request, up to
// a minute; a good page starts over. The window is served all the while.
TEST_F(RetryTest, FailedPagesInARowWaitLongerAndLonger) {
    using std::chrono::seconds;
    const struct {
        const char* name;
        std::string script;
        std::vector<seconds> gaps;
    } cases[] = {
        {.name = "a lost server comes back",
         .script = "+---------+",
         .gaps = {seconds(0), seconds(1), seconds(2), seconds(4), seconds(8), seconds(16),
                  seconds(32), seconds(60), seconds(60), seconds(60)}},
        {.name = "a good page starts over",
         .script = "+--+-+",
         .gaps = {seconds(0), seconds(1), seconds(2), seconds(0), seconds(1)}},
        {.name = "no failure, no wait", .script = "+++", .gaps = {seconds(0), seconds(0)}},
        {.name = "a failed first page ends the pass at once", .script = "-+", .gaps = {}},
    };
    for (const auto& c : cases) {
        const std::size_t requestsBefore = scripted_.requests().size();
        RunScript(c.script);
        EXPECT_EQ(scripted_.requests().size() - requestsBefore, c.gaps.size() + 1) << c.name;
        EXPECT_EQ(gapsBetweenRequests(), c.gaps) << c.name;
        std::vector<std::string> texts;
        for (const seconds gap : c.gaps) {
            if (gap.count() > 0) {
                texts.push_back("Retrying in " + std::to_string(gap.count()) + " s...");
            }
        }
        EXPECT_EQ(retryTexts(), texts) << c.name;
        for (const std::chrono::milliseconds slice : host_.sleeps) {
            ASSERT_LE(slice, kRetryWaitSlice) << c.name;
        }
    }
}

TEST_F(RetryTest, StopEndsTheWaitAtOnce) {
    std::optional<std::chrono::milliseconds> stoppedAt;
    int callsWhileWaiting = 0;
    host_.onProcessEvents = [&] {
        if (host_.mainStatus != "Retrying in 1 s...") {
            return;
        }
        // Stop comes in from the window in the middle of the wait.
        if (++callsWhileWaiting == 5) {
            StopSearch(host_, http_);
            stoppedAt = host_.clock;
        }
    };
    RunScript("+-+");
    ASSERT_TRUE(stoppedAt.has_value());
    EXPECT_EQ(host_.clock, *stoppedAt);
    EXPECT_EQ(scripted_.requests().size(), 2u);
    EXPECT_EQ(host_.mainStatus, "Proccess aborted by user.");
    EXPECT_EQ(host_.rows.size(), 100u);
}

}  // namespace
}  // namespace search

#include "search/search_run.h"

#include <fstream>
#include <sstream>

#include "run_fixture.h"

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
        {"google", 100, false},
        {"yahoo", 100, false},
        {"live", 100, false},
        {"altavista", 50, true},
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

TEST_F(SearchRunTest, KeywordReachesTheUrlWithSpacesAndQuotesEncoded) {
    host_.siteTextValue = site("google");
    host_.keywordValue = "a \"b\"&pages=1";
    SearchRun(ctx_);
    const demo::HttpRequest sent = engine_.requests().at(0);
    EXPECT_EQ(sent.target, "/search?as_q=a+%22b%22&pages=1&num=100&start=0");
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
    EXPECT_EQ(requests[0].target,
              "/search?num=100&filter=0&lr=&as_qdr=all&q=link%3Ahttp%3A%2F%2Fzorvane.example%2F"
              "&start=0");
    ASSERT_EQ(host_.rows.size(), 102u);  // image and relative hits count for backlinks
    EXPECT_EQ(host_.rows[0].url,
              "http://images.google.example/images?q=link%3Ahttp%3A%2F%2Fzorvane.example%2F");
    EXPECT_EQ(host_.rows[1].url, "/products?q=link%3Ahttp%3A%2F%2Fzorvane.example%2F");
    for (const ResultRow& row : host_.rows) {
        ASSERT_EQ(row.engineSite, "Google Backlink");
    }
    EXPECT_NE(ReadFile(settings_.debugPageFile).find("<li class=g"), std::string::npos);
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
    EXPECT_EQ(host_.mainStatus, "Connection error, check if you are connected and url exists.");
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
    EXPECT_EQ(requests[1].target, "/search?as_q=car&pages=2&num=100&start=100");
    EXPECT_EQ(requests[2].target, "/search?p=bike&pages=1&n=100&pstart=1&b=1");
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
    EXPECT_EQ(host_.mainStatus, "");
    EXPECT_EQ(host_.secondStatus, "3 items");
    EXPECT_EQ(requestCount(), 0u);
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

}  // namespace
}  // namespace search

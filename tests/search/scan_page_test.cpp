#include <gtest/gtest.h>

#include "fake_host.h"
#include "search/engines.h"
#include "search/result_list.h"
#include "tests/support/null_search_host.h"

namespace search {
namespace {

using testing::FakeHost;

TEST(RequestUrl, FollowsTheEngineTable) {
    EngineSettings settings;
    settings.backlinksSearchUrl = "http://bl.example/search?q=link%3A";
    struct Case {
        Engine engine;
        std::int64_t page;
        std::string url;
    } cases[] = {
        {.engine = Engine::Google, .page = 2, .url = "http://s/search?as_q=k+w&num=100&start=200"},
        {.engine = Engine::Yahoo, .page = 1, .url = "http://s/search?p=k+w&n=100&pstart=1&b=101"},
        {.engine = Engine::Live, .page = 2, .url = "http://s/results.aspx?q=k+w&first=21"},
        {.engine = Engine::AltaVista,
         .page = 2,
         .url = "http://s/web/results?itag=ody&pg=aq&aqmode=s&nbq=50&aqa=k+w&first=0&stq=100"},
        {.engine = Engine::GoogleBacklinks,
         .page = 1,
         .url = "http://bl.example/search?q=link%3Ak+w&start=100"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RequestUrl(c.engine, "http://s", "k+w", c.page, settings), c.url);
    }
}

struct ScanCase {
    const char* name;
    Engine engine;
    std::string page;
    std::vector<std::string> urls;
    std::vector<std::string> anchors;
};

TEST(ScanPage, CutsEveryEnginesHitsByItsRules) {
    const ScanCase cases[] = {
        {.name = "google",
         .engine = Engine::Google,
         .page = "<li class=g><h3><a href=\"http://a.example/\" class=l>A &amp; <b>B</b></a></h3>"
                 "<LI CLASS=G ID=B><a HREF=\"HTTP://Caps.example/x\">Caps</A>"
                 "<li class=g blended><a href=\"http://skipped.example\">b in tag</a>"
                 "<li class=g><a href=\"/relative\">rel</a>"
                 "<li class=g><a href=\"http://images.google.com/images?q=x\">img</a>"
                 "<li class=g><a href=\"HTTP://Images.Google.com/x\">img</a>"
                 "<li class=g><a href=\"http://two.example//\">two</a>"
                 "<li class=g><a href=\"http://e.example/?a=1&amp;b=2\">e</a>"
                 "<LI CLASS=G><a href=\"http://tail.example\">no exact hit marker left</a>"
                 "<span>&gt;</span>Next</a>",
         .urls = {"http://a.example", "HTTP://Caps.example/x", "http://two.example/",
                  "http://e.example/?a=1&amp;b=2"},
         .anchors = {"A & B", "Caps", "two", "e"}},
        {.name = "google b skip looks for the next marker right after the tag",
         .engine = Engine::Google,
         .page = "<li class=g box><li class=g><a href=\"http://in.example\">in</a>",
         .urls = {"http://in.example"},
         .anchors = {"in"}},
        {.name = "yahoo",
         .engine = Engine::Yahoo,
         .page =
             "<div class=\"res\"><h3><a class=\"yschttl\" href=\"http://rds/**http%3a//y.example/"
             "q%3Ax\">Y &quot;1&quot;</a></h3></div>"
             "<div class=\"res\"><a class=\"yschttl\" href=\"http://rds/**ftp%3a//no\">ftp</a>"
             "<DIV CLASS=\"RES\"><a class=\"yschttl\" href=\"**HTTP%3a//up.example/\">up</a></div>"
             "<div class=\"res\"><a class=\"yschttl\" href=\"**http%3a//last.example\">last</a>",
         .urls = {"http://y.example/q%3Ax", "HTTP://up.example", "http://last.example"},
         .anchors = {"Y \"1\"", "up", "last"}},
        {.name = "live",
         .engine = Engine::Live,
         .page =
             "<li><h3><a href=\"http://l.example/\" onmousedown=\"x\">L<strong>1</strong></a></h3>"
             "<li><h3><a href=\"https://tls.example\">tls</a></h3>",
         .urls = {"http://l.example"},
         .anchors = {"L1"}},
        {.name = "altavista",
         .engine = Engine::AltaVista,
         .page = "<a class='res' href='x'><span class=s>AV\r\n one</span></a><br>"
                 "<span class=ngrn>www.av.example/</span>"
                 "<a class='res' href='y'><span class=s>two</span></a>"
                 "<span class=ngrn>http://two.example</span>"
                 "<a class='res' href='z'><span class=s>none</span></a>",
         .urls = {"http://www.av.example", "http://two.example", "http://"},
         .anchors = {"AV one", "two", "none"}},
        {.name = "backlinks keep every surviving link",
         .engine = Engine::GoogleBacklinks,
         .page = "<li class=g><a href=\"/rel/\">r</a><li class=g b><a href=\"http://no\">n</a>"
                 "<li class=g><a href=\"http://images.google.com/x\">i</a>",
         .urls = {"/rel", "http://images.google.com/x"},
         .anchors = {"r", "i"}},
    };
    for (const ScanCase& c : cases) {
        FakeHost host;
        host.siteTextValue = "http://site";
        PageBuffer page(c.page);
        EXPECT_TRUE(ScanPage(c.engine, page, host, EngineSettings{}));
        EXPECT_EQ(host.urls(), c.urls) << c.name;
        std::vector<std::string> anchors;
        for (const ResultRow& row : host.rows) {
            anchors.push_back(row.anchor);
            EXPECT_EQ(row.engineSite,
                      c.engine == Engine::GoogleBacklinks ? "Google Backlink" : "http://site");
        }
        EXPECT_EQ(anchors, c.anchors) << c.name;
    }
}

TEST(ScanPage, NextPageMarkerAfterTheLastHitSurvivesTheScan) {
    testsupport::NullSearchHost host;
    PageBuffer page(
        "<li class=g><a href=\"http://a\">a</a></li></ol><a href=x><span></span>Next</a>");
    ScanPage(Engine::Google, page, host, EngineSettings{});
    EXPECT_TRUE(page.contains(ProfileOf(Engine::Google).nextMarker));
}

std::string GooglePage(int hits) {
    std::string page;
    for (int i = 1; i <= hits; ++i) {
        page += "<li class=g><a href=\"http://h" + std::to_string(i) + ".example\">h</a>";
    }
    return page;
}

TEST(ScanPage, LimitSkipsLaterHitsButNotForBacklinks) {
    FakeHost host;
    host.maxItemsValue = 3;
    PageBuffer page(GooglePage(5));
    ScanPage(Engine::Google, page, host, EngineSettings{});
    EXPECT_EQ(host.rows.size(), 3u);

    FakeHost backlinks;
    backlinks.maxItemsValue = 3;
    PageBuffer again(GooglePage(5));
    ScanPage(Engine::GoogleBacklinks, again, backlinks, EngineSettings{});
    EXPECT_EQ(backlinks.rows.size(), 5u);
}

TEST(ScanPage, StopEndsOnlyTheBacklinksScanBeforeTheNextHit) {
    for (Engine engine : {Engine::Google, Engine::GoogleBacklinks}) {
        FakeHost host;
        host.onProcessEvents = [&host] { host.stop = host.rows.size() == 2; };
        PageBuffer page(GooglePage(5));
        const bool goOn = ScanPage(engine, page, host, EngineSettings{});
        const bool backlinks = engine == Engine::GoogleBacklinks;
        EXPECT_EQ(goOn, !backlinks);
        EXPECT_EQ(host.rows.size(), backlinks ? 2u : 5u);
    }
}

TEST(ResultList, NumbersByRowCountAndShowsTheCount) {
    FakeHost host;
    AppendResultRow(host, "a", "http://a", "site");
    EXPECT_EQ(host.rows.back(), (ResultRow{"1", "a", "http://a", "site"}));
    EXPECT_EQ(host.secondStatus, "1 items");
    EXPECT_EQ(host.processEventsCalls, 1);
    AppendResultRow(host, "b", "http://b", "site");
    host.rows.erase(host.rows.begin());  // a deletion during the run
    AppendResultRow(host, "c", "http://c", "site");
    EXPECT_EQ(host.rows.back().pos, "2");
    EXPECT_EQ(host.secondStatus, "2 items");
}

TEST(ResultList, LimitCountsOnlyAPositiveValue) {
    struct Case {
        double limit;
        std::size_t rows;
        bool reached;
    } cases[] = {
        {.limit = 0, .rows = 1000, .reached = false}, {.limit = -5, .rows = 10, .reached = false},
        {.limit = 10, .rows = 9, .reached = false},   {.limit = 10, .rows = 10, .reached = true},
        {.limit = 10, .rows = 11, .reached = true},   {.limit = 2.5, .rows = 3, .reached = true},
        {.limit = 2.5, .rows = 2, .reached = false}};
    for (const Case& c : cases) {
        FakeHost host;
        host.maxItemsValue = c.limit;
        host.rows.resize(c.rows);
        EXPECT_EQ(LimitReached(host), c.reached) << c.limit << " " << c.rows;
    }
}

}  // namespace
}  // namespace search

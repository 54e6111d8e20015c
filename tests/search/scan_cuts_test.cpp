// ScanPage walks each hit with markers of its own; the scan made of generic
// marker cuts is what it must keep giving, on ordinary and hostile pages.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "fake_host.h"
#include "generic_cut_scan.h"
#include "search/engines.h"
#include "search/page_buffer.h"
#include "tests/support/null_search_host.h"
#include "tools/demo_engine/demo_pages.h"

namespace search {
namespace {

using testing::FakeHost;

constexpr Engine kEngines[] = {Engine::Google, Engine::Yahoo, Engine::Live, Engine::AltaVista,
                               Engine::GoogleBacklinks};

// What a scan leaves behind: its answer, the rows, and the rest of the page,
// which the next-page test reads.
struct ScanOutcome {
    bool goOn = false;
    std::vector<ResultRow> rows;
    std::string rest;
};

// limit 0: no item limit; stopAfter 0: no stop request.
template <typename Scan>
ScanOutcome RunScan(Scan scan, Engine engine, const std::string& text, double limit = 0,
                    std::size_t stopAfter = 0) {
    FakeHost host;
    host.siteTextValue = "http://site";
    host.maxItemsValue = limit;
    if (stopAfter != 0) {
        host.onProcessEvents = [&host, stopAfter] { host.stop = host.rows.size() >= stopAfter; };
    }
    PageBuffer page(text);
    ScanOutcome outcome;
    outcome.goOn = scan(engine, page, host, EngineSettings{});
    outcome.rows = host.rows;
    outcome.rest = std::string(page.rest());
    return outcome;
}

void ExpectSameScan(Engine engine, const std::string& text, double limit = 0,
                    std::size_t stopAfter = 0) {
    const ScanOutcome walked = RunScan(ScanPage, engine, text, limit, stopAfter);
    const ScanOutcome generic =
        RunScan(testing::ScanPageByGenericCuts, engine, text, limit, stopAfter);
    const std::string what = "engine " + std::to_string(static_cast<int>(engine)) + " page " + text;
    EXPECT_EQ(walked.goOn, generic.goOn) << what;
    EXPECT_EQ(walked.rows, generic.rows) << what;
    EXPECT_EQ(walked.rest, generic.rest) << what;
}

TEST(ScanCuts, DemoPagesScanLikeTheGenericCuts) {
    const demo::DemoEngine demoEngines[] = {demo::DemoEngine::Google, demo::DemoEngine::Yahoo,
                                            demo::DemoEngine::Live, demo::DemoEngine::AltaVista};
    const Engine engines[] = {Engine::Google, Engine::Yahoo, Engine::Live, Engine::AltaVista};
    for (std::size_t e = 0; e < std::size(engines); ++e) {
        for (std::int64_t pageIndex : {0, 1}) {
            demo::DemoQuery query;
            query.engine = demoEngines[e];
            query.keyword = query.keywordParam = "used \"cars\" & <b>vans</b>";
            query.pageIndex = pageIndex;
            query.pageLimit = 2;
            const std::string text = demo::RenderDemoPage(query);
            ExpectSameScan(engines[e], text);
            ExpectSameScan(engines[e], text, 7);
        }
    }
}

// Pages that break the engines' shapes: markers missing, out of order, in
// other letter cases, cut short at the end of the page.
TEST(ScanCuts, HostilePagesScanLikeTheGenericCuts) {
    const std::string pages[] = {
        "",
        "<li class=g",
        "<li class=g>",
        "<LI CLASS=G><li class=g",
        "<li class=g><li class=g><li class=g>",
        "<li class=g href=\"http://a\">x</a>",
        "<li class=g>>>href=\"http://a\" class=\"l\">a</a>",
        "<li class=g><a HREF=\"http://a\">a</A><li class=G><li class=g>",
        "</a><li class=g>href=\"http://a",
        "<li class=g><a href=\"http://a\">no end",
        "<li class=gb><a href=\"http://a\">b in tag</a><li class=g><a href=\"http://c\">c</a>",
        "<li class=g bB><a href=\"http://a\">a</a>",
        "<LI CLASS=G B><li class=g><a href=\"http://a\">a</a>",
        "href=\"http://early\"<li class=g>x</a>",
        "<div class=\"res",
        "<div class=\"res\"><a class=\"yschttl\" href=\"**http%3a//a\">a</a>"
        "<DIV CLASS=\"RES\">**http%3A//b\">b</a><div class=\"res\">",
        "<div class=\"res\">**http%3a//x\"<a class=\"yschttl\" href>y</a>",
        "<div class=\"res\"><a class=\"YSCHTTL\" HREF=\"**http%3a//a\"</a><div class=\"res\">",
        "<li><h3>",
        "<li><h3 class=x><a href=\"http://a/\">a</a><li><h3>",
        "<LI><H3><li><h3><a href=\"http://a\">a</a>",
        "<li><h3><a href=\"http://a\"",
        "<a href=\"http://a\">a</a><li><h3>",
        "<a class='res'",
        "<a class='res'><span class=s>a</span><span class=ngrn>www.a/</span>"
        "<A CLASS='RES'><SPAN CLASS=S>b</SPAN></span><a class='res'>",
        "<a class='res'><span class=ngrn>x</span><span class=s>y</span>",
        "<a class='res'><span class=s>only the anchor",
        "<li class=g><a href=\"http://a\">a</a></span>Next</a><li class=g>",
    };
    for (const std::string& text : pages) {
        for (Engine engine : kEngines) {
            ExpectSameScan(engine, text);
        }
    }
}

TEST(ScanCuts, LimitAndStopEndTheScanLikeTheGenericCuts) {
    std::string text;
    for (int i = 0; i < 6; ++i) {
        text += "<li class=g><a href=\"http://h" + std::to_string(i) + "\">h</a>";
    }
    for (Engine engine : {Engine::Google, Engine::GoogleBacklinks}) {
        for (double limit : {1.0, 3.0}) {
            ExpectSameScan(engine, text, limit);
        }
        for (std::size_t stopAfter : {1u, 4u}) {
            ExpectSameScan(engine, text, 0, stopAfter);
        }
    }
}

// Random pages of every engine's markers, whole, broken and in other cases,
// with the bytes in between.
TEST(ScanCuts, RandomMarkerPagesScanLikeTheGenericCuts) {
    std::mt19937 rng(99);
    for (int round = 0; round < 4000; ++round) {
        std::string text;
        const int count = static_cast<int>(rng() % 40);
        for (int i = 0; i < count; ++i) {
            text += testing::kMarkerPieces[rng() % std::size(testing::kMarkerPieces)];
        }
        for (Engine engine : kEngines) {
            ExpectSameScan(engine, text, round % 3 == 0 ? 2 : 0);
        }
        if (::testing::Test::HasFailure()) {
            return;
        }
    }
}

// Pages built so that a scan which looked for a missing or far marker again
// at every hit would cross the rest of the page once per hit. The buffer
// counts the bytes its searches cross; a linear scan stays within a few
// times the page size, a rescanning one needs thousands of times.
TEST(ScanCuts, HostilePagesAreCrossedAFewTimesAtMost) {
    struct Shape {
        Engine engine;
        std::string unit;
        std::string tail;
    };
    const Shape shapes[] = {
        {.engine = Engine::Google, .unit = "<li class=g>", .tail = ""},
        {.engine = Engine::Google, .unit = "<li class=g", .tail = ">"},
        {.engine = Engine::Google, .unit = "<LI CLASS=G x", .tail = "<li class=g"},
        {.engine = Engine::Google, .unit = "<li class=g>href=\"", .tail = ""},
        {.engine = Engine::Google, .unit = "<li class=g>href=\"x\"", .tail = ""},
        {.engine = Engine::Google, .unit = "<li class=g>href=\"x\">", .tail = "</a>"},
        {.engine = Engine::GoogleBacklinks, .unit = "<li class=g>href=\"x\">", .tail = ""},
        {.engine = Engine::Yahoo, .unit = "<div class=\"res>", .tail = ""},
        {.engine = Engine::Yahoo,
         .unit = "<div class=\"res><a class=\"yschttl\" href",
         .tail = "**"},
        {.engine = Engine::Yahoo, .unit = "<DIV CLASS=\"RES", .tail = "<div class=\"res"},
        {.engine = Engine::Live, .unit = "<li><h3>", .tail = ""},
        {.engine = Engine::Live, .unit = "<li><h3><a href=\"", .tail = ""},
        {.engine = Engine::Live, .unit = "<LI><H3 x", .tail = "<li><h3>"},
        {.engine = Engine::AltaVista, .unit = "<a class='res'>", .tail = ""},
        {.engine = Engine::AltaVista, .unit = "<a class='res'><span class=s>", .tail = ""},
        {.engine = Engine::AltaVista,
         .unit = "<a class='res'><span class=ngrn>",
         .tail = "</span>"},
    };
    for (const Shape& shape : shapes) {
        std::string text;
        for (int i = 0; i < 20000; ++i) {
            text += shape.unit;
        }
        text += shape.tail;
        testsupport::NullSearchHost host;
        PageBuffer page(text);
        ScanPage(shape.engine, page, host, EngineSettings{});
        EXPECT_LE(page.bytesSearched(), 8 * text.size()) << shape.unit;
    }
}

}  // namespace
}  // namespace search

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "tools/demo_engine/loopback_server.h"

namespace demo {

enum class DemoEngine { Google, Yahoo, Live, AltaVista };

// The largest page limit accepted from an option or a query.
inline constexpr std::int64_t kMaxPageLimit = 1000000;
inline constexpr std::int64_t kDefaultPageLimit = 10;

// --shuffle: each day's lists a reordering of the plain ones, the same for
// the same seed and day. Every hit keeps to its block of ten places, and
// about one place in ten goes to a hit of the day instead, so that runs on
// different days show moves, new hits and lost ones.
struct DemoShuffle {
    std::uint64_t seed = 0;
    // Days since 1970-01-01 (UTC).
    std::int64_t day = 0;
};

// What a result page request asks for.
struct DemoQuery {
    DemoEngine engine = DemoEngine::Google;
    std::string keyword;                         // decoded ("+" and %XX)
    std::string keywordParam;                    // as it stood in the request
    std::int64_t pageIndex = 0;                  // from the engine's offset parameter
    std::int64_t pageLimit = kDefaultPageLimit;  // pages with a next-page link: pageLimit - 1
    std::int64_t failPage = -1;                  // this page answers 503
    std::int64_t stallPage = -1;                 // this page stops after half its body
    std::optional<DemoShuffle> shuffle = {};
};

// The hit shown at place n (from 1) of the list q asks for: n itself, or
// with q.shuffle that day's hit for the place.
std::int64_t HitAt(const DemoQuery& q, std::int64_t n);

// 100 hits a page; AltaVista, which asks for 50, gets 50.
int HitsPerPage(DemoEngine engine);

// Reads an engine request target: /search?as_q= (Google; also the
// backlinks form /search?...&q=), /search?p= (Yahoo), /results.aspx?q=
// (Live), /web/results?...&aqa= (AltaVista). The query parameters "pages",
// "fail" and "stall" override the page limit and pick a failing or stalling
// page; a keyword such as "cars&pages=3" sets them through any engine.
std::optional<DemoQuery> ParseDemoTarget(std::string_view target, std::int64_t defaultPageLimit);

// The result page in the engine's markup: hits numbered on from page to page,
// some with entities, tags, capitalised schemes and trailing slashes, a few
// that a harvester must skip, and a next-page link below the page limit.
std::string RenderDemoPage(const DemoQuery& query);

// The whole engine: a result page, 404 for any other target, 503 for the
// failing page and a stalled reply for the stalling one.
HttpReply DemoReply(const HttpRequest& request, std::int64_t defaultPageLimit,
                    const std::optional<DemoShuffle>& shuffle = std::nullopt);

}  // namespace demo

#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "search/engines.h"
#include "search/pass_progress.h"
#include "search/search_context.h"

namespace net {
class HttpClient;
}

namespace search {

// What the pages of a run came to, for a caller that reports the outcome
// (the command-line harvester's exit code).
struct RunSummary {
    std::int64_t pagesFetched = 0;
    // Requests that failed with no stop requested.
    std::int64_t pagesFailed = 0;
    // Fetched pages with content in which the pass recognised no hit and no
    // next link (texts::UnreadablePage).
    std::int64_t pagesUnreadable = 0;
    // An engine profile's pass ended on a page that refused to answer.
    bool blocked = false;

    RunSummary& operator+=(const RunSummary& other) {
        pagesFetched += other.pagesFetched;
        pagesFailed += other.pagesFailed;
        pagesUnreadable += other.pagesUnreadable;
        blocked = blocked || other.blocked;
        return *this;
    }
};

// A pass goes on past a failed page until Stop, so a server that has gone
// away is asked again and again: after the first failure in a row it waits
// 1 s, then twice as long after every further failure, up to a minute. A good
// page starts over.
inline constexpr std::chrono::milliseconds kFirstRetryWait{1000};
inline constexpr std::chrono::milliseconds kLongestRetryWait{60000};
// While waiting, pending messages (and so Stop) are handled at least this
// often: more often than the HTTP client's idle slices, so the window stays
// as smooth as during a download.
inline constexpr std::chrono::milliseconds kRetryWaitSlice{50};

// The wait after `failuresInARow` (1 or more) failed pages in a row.
std::chrono::milliseconds RetryWait(std::int64_t failuresInARow);

// "Retrying in N s...", the main status text during that wait.
std::string RetryStatusText(std::chrono::milliseconds wait);

// Waits `wait` on the host's clock in slices of at most kRetryWaitSlice,
// handling pending messages before every slice; returns as soon as a stop
// is requested.
void WaitBeforeRetry(SearchHost& host, std::chrono::milliseconds wait);

// Runs one pass to its end: fetches page after page, scans each, and ends at
// the item limit, at a page without the next-page marker (or a failed first
// page), at a stop, or when it goes round in circles (PassProgress). Before the page after a failed
// one it shows RetryStatusText and waits (RetryWait). A page with content
// but without a hit or the next-page marker also sets the page notice
// (texts::UnreadablePage) and counts in pagesUnreadable.
RunSummary RunPass(Engine engine, SearchContext& ctx);

// One search: clears the stop flag, the rows, the main status text and the
// page notice, then
// runs every pass whose dispatch text the site text holds (re-read before each
// test), in the order Google, Yahoo, Live, AltaVista, Google backlinks. A line
// that selects nothing shows texts::NoEnginePass and requests nothing.
RunSummary SearchRun(SearchContext& ctx);

// The Stop action: sets the stop flag, disconnects the harvester's client,
// shows "Proccess aborted by user." and handles pending messages.
void StopSearch(SearchHost& host, net::HttpClient& http);

// Wires the harvester's client to the host: the idle callback handles pending
// messages, and the work events drive the gauge and end a download once a
// stop is requested.
void AttachHarvesterClient(net::HttpClient& http, SearchHost& host);

}  // namespace search

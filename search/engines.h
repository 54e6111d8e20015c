#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "search/page_buffer.h"
#include "search/search_host.h"

namespace search {

enum class Engine { Google, Yahoo, Live, AltaVista, GoogleBacklinks };

// The whole of what a pass knows about its engine.
struct EngineProfile {
    Engine engine;
    std::string_view dispatchText;      // substring of the site text that selects the pass
    std::string_view textAfterSite;     // request path and query up to the keyword
    std::string_view textAfterKeyword;  // query between keyword and page offset
    std::int64_t firstOffset;
    std::int64_t offsetStep;
    bool writesDebugPage;
    std::string_view hitMarker;   // compared exactly
    std::string_view nextMarker;  // compared exactly
};

// The engine table, in dispatch order.
const EngineProfile& ProfileOf(Engine engine);

// The built-in texts a pass needs besides the table. Tests substitute them to
// keep every request on the loopback interface and every file in their own
// folder.
struct EngineSettings {
    // Google's image search hits are not web results.
    std::string imageSearchPrefix = "http://images.google";
    // Followed directly by the encoded query and "&start=" + offset.
    std::string backlinksSearchUrl =
        "http://www.google.com/search?num=100&filter=0&lr=&as_qdr=all&q=link%3A";
    // The debug copy of the last AltaVista or backlinks page.
    std::string debugPageFile = DefaultDebugPageFile();

    // test.html in the system temp folder ($TMPDIR, else /tmp).
    static std::string DefaultDebugPageFile();
};

// The request URL of page `pageIndex` (0, 1, 2, ...). queryText is the
// keyword text for the four site passes and the backlinks query for the
// backlinks pass.
std::string RequestUrl(Engine engine, std::string_view siteText, std::string_view queryText,
                       std::int64_t pageIndex, const EngineSettings& settings);

// Scans the hits of one page in the engine's way, appending rows to the host.
// Returns false when the pass must end at once (a stop seen by the backlinks
// pass before a hit).
bool ScanPage(Engine engine, PageBuffer& page, SearchHost& host, const EngineSettings& settings);
// The same, also appending a key of each appended row's link and anchor to
// hitKeys (PassProgress::HitKey), by which a pass tells a page from the one
// before it.
bool ScanPageKeepingHits(Engine engine, PageBuffer& page, SearchHost& host,
                         const EngineSettings& settings, std::vector<std::string>& hitKeys);

// Replaces the debug page file with the page text. A debug copy must never
// break a harvest, so every failure is ignored; a symbolic link in its place
// is refused rather than followed (the temp folder is shared by all users).
void WriteDebugPage(const std::string& path, std::string_view pageText);

}  // namespace search

#include "search/engines.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

#include "search/result_list.h"
#include "search/text_rules.h"
#include "util/take_between.h"

namespace search {
namespace {

constexpr EngineProfile kEngines[] = {
    {Engine::Google, "google", "/search?as_q=", "&num=100&start=", 0, 100, false, "<li class=g",
     "</span>Next</a>"},
    {Engine::Yahoo, "yahoo", "/search?p=", "&n=100&pstart=1&b=", 1, 100, false, "<div class=\"res",
     ">Next &gt;</a>"},
    {Engine::Live, "live", "/results.aspx?q=", "&first=", 1, 10, false, "<li><h3>", ">Next</a>"},
    {Engine::AltaVista, "altavista", "/web/results?itag=ody&pg=aq&aqmode=s&nbq=50&aqa=",
     "&first=0&stq=", 0, 50, true, "<a class='res'", ">Next &gt;&gt;</a>"},
    {Engine::GoogleBacklinks, "google backlinks", "", "&start=", 0, 100, true, "<li class=g",
     "</span>Next</a>"},
};

constexpr std::string_view kBacklinksSiteLabel = "Google Backlink";

// One hit's link and raw anchor, or nothing when the hit is skipped.
struct Hit {
    bool keep = false;
    std::string link;
    std::string_view rawAnchor;  // into the page
};

Hit CutGoogleHit(PageBuffer& page, bool backlinks, const EngineSettings& settings) {
    Hit hit;
    // A hit whose tag carries a "b" (blended or boxed results) is no web hit.
    if (page.TakeBetween("<li class=g", ">").find('b') != std::string_view::npos) {
        return hit;
    }
    page.TakeBetween(">", "href=\"");
    hit.link = std::string(page.TakeBetween("href=\"", "\""));
    hit.rawAnchor = page.TakeBetween(">", "</a>");
    DropTrailingSlash(hit.link);
    if (backlinks) {
        hit.keep = true;
        return hit;
    }
    hit.keep = LoweredStartsWith(hit.link, "http://") &&
               !LoweredStartsWith(hit.link, settings.imageSearchPrefix);
    return hit;
}

Hit CutYahooHit(PageBuffer& page) {
    Hit hit;
    page.TakeBetween("<div class=\"res", ">");
    page.TakeBetween("<a class=\"yschttl\" href", "**");
    hit.link = ReplaceAll(page.TakeBetween("**", "\""), "%3a", ":");
    hit.rawAnchor = page.TakeBetween(">", "</a>");
    DropTrailingSlash(hit.link);
    hit.keep = LoweredStartsWith(hit.link, "http://");
    return hit;
}

Hit CutLiveHit(PageBuffer& page) {
    Hit hit;
    page.TakeBetween("<li><h3", ">");
    hit.link = std::string(page.TakeBetween("<a href=\"", "\""));
    hit.rawAnchor = page.TakeBetween(">", "</a>");
    DropTrailingSlash(hit.link);
    hit.keep = LoweredStartsWith(hit.link, "http://");
    return hit;
}

Hit CutAltaVistaHit(PageBuffer& page) {
    Hit hit;
    page.TakeBetween("<a class='res'", ">");
    hit.rawAnchor = page.TakeBetween("<span class=s>", "</span>");
    hit.link = std::string(page.TakeBetween("<span class=ngrn>", "</span>"));
    DropTrailingSlash(hit.link);
    // AltaVista shows its links without the scheme.
    if (util::FindNoCase(hit.link, "http://") == std::string::npos) {
        hit.link.insert(0, "http://");
    }
    hit.keep = true;
    return hit;
}

}  // namespace

std::string EngineSettings::DefaultDebugPageFile() {
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = (tmp != nullptr && *tmp != '\0') ? tmp : "/tmp";
    if (folder.back() != '/') {
        folder.push_back('/');
    }
    return folder + "test.html";
}

const EngineProfile& ProfileOf(Engine engine) {
    for (const EngineProfile& profile : kEngines) {
        if (profile.engine == engine) {
            return profile;
        }
    }
    return kEngines[0];
}

std::string RequestUrl(Engine engine, std::string_view siteText, std::string_view queryText,
                       std::int64_t pageIndex, const EngineSettings& settings) {
    const EngineProfile& profile = ProfileOf(engine);
    std::string url =
        engine == Engine::GoogleBacklinks ? settings.backlinksSearchUrl : std::string(siteText);
    url += profile.textAfterSite;
    url += queryText;
    url += profile.textAfterKeyword;
    url += std::to_string(profile.firstOffset + pageIndex * profile.offsetStep);
    return url;
}

bool ScanPage(Engine engine, PageBuffer& page, SearchHost& host, const EngineSettings& settings) {
    const EngineProfile& profile = ProfileOf(engine);
    const bool backlinks = engine == Engine::GoogleBacklinks;
    while (page.contains(profile.hitMarker)) {
        if (backlinks && host.stopRequested()) {
            return false;
        }
        Hit hit;
        switch (engine) {
            case Engine::Google:
            case Engine::GoogleBacklinks:
                hit = CutGoogleHit(page, backlinks, settings);
                break;
            case Engine::Yahoo:
                hit = CutYahooHit(page);
                break;
            case Engine::Live:
                hit = CutLiveHit(page);
                break;
            case Engine::AltaVista:
                hit = CutAltaVistaHit(page);
                break;
        }
        if (!hit.keep) {
            continue;
        }
        std::string anchor = CleanAnchorText(hit.rawAnchor);
        // The backlinks pass scans every page to its end; the limit is only
        // looked at between its pages.
        if (!backlinks && LimitReached(host)) {
            continue;
        }
        AppendResultRow(host, std::move(anchor), std::move(hit.link),
                        backlinks ? std::string(kBacklinksSiteLabel) : host.siteText());
    }
    return true;
}

void WriteDebugPage(const std::string& path, std::string_view pageText) {
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        return;
    }
    std::size_t done = 0;
    while (done < pageText.size()) {
        const ssize_t n = ::write(fd, pageText.data() + done, pageText.size() - done);
        if (n <= 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

}  // namespace search

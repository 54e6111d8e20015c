#include "generic_cut_scan.h"

#include <string>
#include <string_view>

#include "search/result_list.h"
#include "search/text_rules.h"
#include "util/take_between.h"

namespace search::testing {
namespace {

struct Hit {
    bool keep = false;
    std::string link;
    std::string_view rawAnchor;
};

Hit CutGoogleHit(PageBuffer& page, bool backlinks, const EngineSettings& settings) {
    Hit hit;
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
    if (util::FindNoCase(hit.link, "http://") == std::string::npos) {
        hit.link.insert(0, "http://");
    }
    hit.keep = true;
    return hit;
}

}  // namespace

bool ScanPageByGenericCuts(Engine engine, PageBuffer& page, SearchHost& host,
                           const EngineSettings& settings) {
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
        if (!backlinks && LimitReached(host)) {
            continue;
        }
        AppendResultRow(host, std::move(anchor), std::move(hit.link),
                        backlinks ? std::string("Google Backlink") : host.siteText());
    }
    return true;
}

}  // namespace search::testing

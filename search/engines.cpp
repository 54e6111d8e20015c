#include "search/engines.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

#include "search/pass_progress.h"
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

using Marker = PageBuffer::Marker;

// Each engine's cuts, one cutter per scanned page. Its markers, the hit
// marker among them, keep their answers from hit to hit, so the cuts of a
// hit walk on from where the hit before left the page, and a marker missing
// from the rest of the page is looked for once, not once per hit: the page
// is crossed a few times at most whatever it holds. The first cut of Google,
// Yahoo and AltaVista starts with the hit marker, found already at hitAt.

class GoogleCutter {
public:
    GoogleCutter(std::string_view hitMarker, bool backlinks, const EngineSettings& settings)
        : hitMarker(hitMarker), backlinks_(backlinks), settings_(settings) {}

    Marker hitMarker;

    Hit cut(PageBuffer& page, std::size_t hitAt) {
        Hit hit;
        // A hit whose tag carries a "b" (blended or boxed results) is no web hit.
        if (page.TakeBetween(hitAt, hitMarker, tagEnd_).find('b') != std::string_view::npos) {
            return hit;
        }
        page.TakeBetween(tagEnd_, link_);
        hit.link = std::string(page.TakeBetween(link_, quote_));
        hit.rawAnchor = page.TakeBetween(tagEnd_, anchorEnd_);
        DropTrailingSlash(hit.link);
        if (backlinks_) {
            hit.keep = true;
            return hit;
        }
        hit.keep = LoweredStartsWith(hit.link, "http://") &&
                   !LoweredStartsWith(hit.link, settings_.imageSearchPrefix);
        return hit;
    }

private:
    bool backlinks_;
    const EngineSettings& settings_;
    Marker tagEnd_{">"};
    Marker link_{"href=\""};
    Marker quote_{"\""};
    Marker anchorEnd_{"</a>"};
};

class YahooCutter {
public:
    explicit YahooCutter(std::string_view hitMarker) : hitMarker(hitMarker) {}

    Marker hitMarker;

    Hit cut(PageBuffer& page, std::size_t hitAt) {
        Hit hit;
        page.TakeBetween(hitAt, hitMarker, tagEnd_);
        page.TakeBetween(titleLink_, target_);
        hit.link = ReplaceAll(page.TakeBetween(target_, quote_), "%3a", ":");
        hit.rawAnchor = page.TakeBetween(tagEnd_, anchorEnd_);
        DropTrailingSlash(hit.link);
        hit.keep = LoweredStartsWith(hit.link, "http://");
        return hit;
    }

private:
    Marker tagEnd_{">"};
    Marker titleLink_{"<a class=\"yschttl\" href"};
    Marker target_{"**"};
    Marker quote_{"\""};
    Marker anchorEnd_{"</a>"};
};

class LiveCutter {
public:
    explicit LiveCutter(std::string_view hitMarker) : hitMarker(hitMarker) {}

    Marker hitMarker;

    // The first cut starts at "<li><h3", which may stand before the hit
    // marker "<li><h3>", so it is looked for on its own.
    Hit cut(PageBuffer& page, std::size_t) {
        Hit hit;
        page.TakeBetween(head_, tagEnd_);
        hit.link = std::string(page.TakeBetween(link_, quote_));
        hit.rawAnchor = page.TakeBetween(tagEnd_, anchorEnd_);
        DropTrailingSlash(hit.link);
        hit.keep = LoweredStartsWith(hit.link, "http://");
        return hit;
    }

private:
    Marker head_{"<li><h3"};
    Marker tagEnd_{">"};
    Marker link_{"<a href=\""};
    Marker quote_{"\""};
    Marker anchorEnd_{"</a>"};
};

class AltaVistaCutter {
public:
    explicit AltaVistaCutter(std::string_view hitMarker) : hitMarker(hitMarker) {}

    Marker hitMarker;

    Hit cut(PageBuffer& page, std::size_t hitAt) {
        Hit hit;
        page.TakeBetween(hitAt, hitMarker, tagEnd_);
        hit.rawAnchor = page.TakeBetween(anchor_, spanEnd_);
        hit.link = std::string(page.TakeBetween(link_, spanEnd_));
        DropTrailingSlash(hit.link);
        // AltaVista shows its links without the scheme.
        if (util::FindNoCase(hit.link, "http://") == std::string::npos) {
            hit.link.insert(0, "http://");
        }
        hit.keep = true;
        return hit;
    }

private:
    Marker tagEnd_{">"};
    Marker anchor_{"<span class=s>"};
    Marker link_{"<span class=ngrn>"};
    Marker spanEnd_{"</span>"};
};

template <typename Cutter>
bool ScanHits(Cutter& cutter, PageBuffer& page, SearchHost& host, bool backlinks,
              std::vector<std::string>* hitKeys) {
    for (;;) {
        const std::size_t hitAt = page.findHit(cutter.hitMarker);
        if (hitAt == std::string_view::npos) {
            return true;
        }
        if (backlinks && host.stopRequested()) {
            return false;
        }
        Hit hit = cutter.cut(page, hitAt);
        if (!hit.keep) {
            continue;
        }
        std::string anchor = CleanAnchorText(hit.rawAnchor);
        // The backlinks pass scans every page to its end; the limit is only
        // looked at between its pages.
        if (!backlinks && LimitReached(host)) {
            continue;
        }
        if (hitKeys != nullptr) {
            hitKeys->push_back(PassProgress::HitKey({hit.link, anchor}));
        }
        AppendResultRow(host, std::move(anchor), std::move(hit.link),
                        backlinks ? std::string(kBacklinksSiteLabel) : host.siteText());
    }
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

namespace {

bool ScanPageInto(Engine engine, PageBuffer& page, SearchHost& host, const EngineSettings& settings,
                  std::vector<std::string>* hitKeys) {
    const std::string_view hitMarker = ProfileOf(engine).hitMarker;
    switch (engine) {
        case Engine::Google:
        case Engine::GoogleBacklinks: {
            const bool backlinks = engine == Engine::GoogleBacklinks;
            GoogleCutter cutter(hitMarker, backlinks, settings);
            return ScanHits(cutter, page, host, backlinks, hitKeys);
        }
        case Engine::Yahoo: {
            YahooCutter cutter(hitMarker);
            return ScanHits(cutter, page, host, false, hitKeys);
        }
        case Engine::Live: {
            LiveCutter cutter(hitMarker);
            return ScanHits(cutter, page, host, false, hitKeys);
        }
        case Engine::AltaVista: {
            AltaVistaCutter cutter(hitMarker);
            return ScanHits(cutter, page, host, false, hitKeys);
        }
    }
    return true;
}

}  // namespace

bool ScanPage(Engine engine, PageBuffer& page, SearchHost& host, const EngineSettings& settings) {
    return ScanPageInto(engine, page, host, settings, nullptr);
}

bool ScanPageKeepingHits(Engine engine, PageBuffer& page, SearchHost& host,
                         const EngineSettings& settings, std::vector<std::string>& hitKeys) {
    return ScanPageInto(engine, page, host, settings, &hitKeys);
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

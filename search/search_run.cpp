#include "search/search_run.h"

#include <algorithm>
#include <exception>

#include "net/http_client.h"
#include "search/page_fetcher.h"
#include "search/profile_run.h"
#include "search/result_list.h"
#include "search/search_texts.h"
#include "search/site_selection.h"
#include "search/text_rules.h"

namespace search {

std::chrono::milliseconds RetryWait(std::int64_t failuresInARow) {
    std::chrono::milliseconds wait = kFirstRetryWait;
    for (std::int64_t i = 1; i < failuresInARow && wait < kLongestRetryWait; ++i) {
        wait *= 2;
    }
    return std::min(wait, kLongestRetryWait);
}

std::string RetryStatusText(std::chrono::milliseconds wait) {
    const auto seconds = std::chrono::ceil<std::chrono::seconds>(wait).count();
    return texts::RetryingIn(seconds);
}

void WaitBeforeRetry(SearchHost& host, std::chrono::milliseconds wait) {
    const auto deadline = host.now() + wait;
    for (;;) {
        host.processEvents();
        if (host.stopRequested()) {
            return;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - host.now());
        if (left.count() <= 0) {
            return;
        }
        host.sleepFor(std::min(left, kRetryWaitSlice));
    }
}

namespace {

// The URL part of a site line: a tag naming what the line runs is no part
// of the address.
std::string SiteTextOfLine(const std::string& line) {
    if (line.empty() || line.front() != '[') {
        return line;
    }
    return SelectForSiteLine(line, {}).siteText;
}

}  // namespace

RunSummary RunPass(Engine engine, SearchContext& ctx) {
    const EngineProfile& profile = ProfileOf(engine);
    const std::string keyword = ctx.host.keyword();
    const std::string queryText = engine == Engine::GoogleBacklinks
                                      ? BacklinksQueryText(BacklinksKeywordText(keyword))
                                      : KeywordText(keyword);
    PageBuffer page;
    RunSummary summary;
    PassProgress progress;
    std::int64_t failuresInARow = 0;
    for (std::int64_t pageIndex = 0;; ++pageIndex) {
        const std::string url = RequestUrl(engine, SiteTextOfLine(ctx.host.siteText()), queryText,
                                           pageIndex, ctx.settings);
        if (!progress.firstRequest(url)) {
            ctx.host.setMainStatus(std::string(texts::kUrlAgain));
            return summary;
        }
        if (FetchPage(ctx, url, page)) {
            ++summary.pagesFetched;
            failuresInARow = 0;
            if (profile.writesDebugPage) {
                WriteDebugPage(ctx.settings.debugPageFile, page.rest());
            }
            // Hits left out for the item limit reached by a pass before
            // this one say nothing about the page.
            const bool readingCounts = !page.rest().empty() && !LimitReached(ctx.host);
            std::vector<std::string> hits;
            if (!ScanPageKeepingHits(engine, page, ctx.host, ctx.settings, hits)) {
                return summary;
            }
            if (readingCounts && hits.empty() && !page.contains(profile.nextMarker) &&
                !ctx.host.stopRequested()) {
                ++summary.pagesUnreadable;
                ctx.host.setPageNotice(texts::UnreadablePage());
            }
            std::string reason;
            if (progress.endsAfterPage(std::move(hits), reason)) {
                ctx.host.setMainStatus(reason);
                return summary;
            }
        } else if (!ctx.host.stopRequested()) {
            ++summary.pagesFailed;
            ++failuresInARow;
        }
        if (LimitReached(ctx.host) || !page.contains(profile.nextMarker) ||
            ctx.host.stopRequested()) {
            return summary;
        }
        if (failuresInARow > 0) {
            const std::chrono::milliseconds wait = RetryWait(failuresInARow);
            ctx.host.setMainStatus(RetryStatusText(wait));
            WaitBeforeRetry(ctx.host, wait);
        }
    }
}

RunSummary SearchRun(SearchContext& ctx) {
    static constexpr Engine kDispatchOrder[] = {Engine::Google, Engine::Yahoo, Engine::Live,
                                                Engine::AltaVista, Engine::GoogleBacklinks};
    ctx.host.setStopRequested(false);
    ctx.host.clearRows();
    ctx.host.setMainStatus("");
    ctx.host.setPageNotice("");
    RunSummary summary;
    if (ctx.profiles == nullptr) {
        bool anyPass = false;
        for (Engine engine : kDispatchOrder) {
            if (ctx.host.siteText().find(ProfileOf(engine).dispatchText) != std::string::npos) {
                anyPass = true;
                summary += RunPass(engine, ctx);
            }
        }
        if (!anyPass) {
            ctx.host.setMainStatus(std::string(texts::kNoEnginePass));
        }
        return summary;
    }
    const std::string line = ctx.host.siteText();
    const SiteSelection selection = SelectForSiteLine(line, *ctx.profiles);
    // Without a word the run would end as if it had searched and found nothing.
    if (selection.steps.empty()) {
        ctx.host.setMainStatus(texts::NoEnginePass(selection.unknownNames));
        return summary;
    }
    const bool tagged = selection.siteText.size() != line.size();
    for (const std::string& name : selection.unknownNames) {
        ctx.host.setMainStatus(texts::UnknownProfile(name));
    }
    for (const SelectedStep& step : selection.steps) {
        if (ctx.host.stopRequested()) {
            break;
        }
        if (step.kind == SelectedStep::Kind::Profile) {
            summary += RunProfilePass(*step.profile, selection.siteText, ctx);
        } else if (tagged || ctx.host.siteText().find(ProfileOf(step.engine).dispatchText) !=
                                 std::string::npos) {
            // Without a tag the site text is read again before each pass, as
            // the built-in dispatch always has: a handler may change it.
            summary += RunPass(step.engine, ctx);
        }
    }
    return summary;
}

void StopSearch(SearchHost& host, net::HttpClient& http) {
    host.setStopRequested(true);
    try {
        http.Disconnect();
    } catch (const std::exception&) {
        // A failed disconnect changes nothing: the flag ends the run anyway.
    }
    host.setMainStatus(std::string(texts::kStopped));
    host.processEvents();
}

void AttachHarvesterClient(net::HttpClient& http, SearchHost& host) {
    http.onIdle = [&host] { host.processEvents(); };
    http.OnWorkBegin = [&host](net::WorkMode, std::int64_t maxCount) {
        host.setGaugeMax(maxCount);
        host.setGaugeValue(0);
        host.processEvents();
    };
    http.OnWork = [&host, &http](net::WorkMode, std::int64_t count) {
        if (host.stopRequested()) {
            http.Disconnect();
        }
        host.setGaugeValue(count);
        host.processEvents();
    };
    http.OnWorkEnd = [&host](net::WorkMode) {
        host.setGaugeValue(host.gaugeMax());
        host.processEvents();
    };
}

}  // namespace search

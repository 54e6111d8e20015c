#include "search/search_run.h"

#include <exception>

#include "net/http_client.h"
#include "search/page_fetcher.h"
#include "search/result_list.h"
#include "search/text_rules.h"

namespace search {

RunSummary RunPass(Engine engine, SearchContext& ctx) {
    const EngineProfile& profile = ProfileOf(engine);
    const std::string keywordText = KeywordText(ctx.host.keyword());
    const std::string queryText =
        engine == Engine::GoogleBacklinks ? BacklinksQueryText(keywordText) : keywordText;
    PageBuffer page;
    RunSummary summary;
    for (std::int64_t pageIndex = 0;; ++pageIndex) {
        const std::string url =
            RequestUrl(engine, ctx.host.siteText(), queryText, pageIndex, ctx.settings);
        if (FetchPage(ctx, url, page)) {
            ++summary.pagesFetched;
            if (profile.writesDebugPage) {
                WriteDebugPage(ctx.settings.debugPageFile, page.rest());
            }
            if (!ScanPage(engine, page, ctx.host, ctx.settings)) {
                return summary;
            }
        } else if (!ctx.host.stopRequested()) {
            ++summary.pagesFailed;
        }
        if (LimitReached(ctx.host) || !page.contains(profile.nextMarker) ||
            ctx.host.stopRequested()) {
            return summary;
        }
    }
}

RunSummary SearchRun(SearchContext& ctx) {
    static constexpr Engine kDispatchOrder[] = {Engine::Google, Engine::Yahoo, Engine::Live,
                                                Engine::AltaVista, Engine::GoogleBacklinks};
    ctx.host.setStopRequested(false);
    ctx.host.clearRows();
    ctx.host.setMainStatus("");
    RunSummary summary;
    for (Engine engine : kDispatchOrder) {
        if (ctx.host.siteText().find(ProfileOf(engine).dispatchText) != std::string::npos) {
            summary += RunPass(engine, ctx);
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
    host.setMainStatus("Proccess aborted by user.");
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

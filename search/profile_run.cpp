#include "search/profile_run.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <limits>
#include <memory>
#include <random>

#include "net/http_client.h"
#include "net/internet_date.h"
#include "net/stream.h"
#include "net/url.h"
#include "search/charset.h"
#include "search/page_fetcher.h"
#include "search/profile_worker.h"
#include "search/profiles/profile_extract.h"
#include "search/profiles/profile_locale.h"
#include "search/result_list.h"
#include "search/search_texts.h"
#include "search/text_rules.h"
#include "util/ascii.h"
#include "util/scope_guard.h"

namespace search {
namespace {

enum class FetchOutcome { Page, Failed, Blocked, Stopped };

struct ProfileFetch {
    FetchOutcome outcome = FetchOutcome::Failed;
    std::string body;
    int status = 0;
    std::string retryAfter;
};

bool IsBlockedStatus(const ProfileDefinition& profile, int status) {
    return std::find(profile.blockedStatuses.begin(), profile.blockedStatuses.end(), status) !=
           profile.blockedStatuses.end();
}

// One page of a profile: the same status texts and gauge as the built-in
// passes' fetch, but the connection stays open for the next page and a
// status that means "blocked" is told apart from a failure.
ProfileFetch FetchProfilePage(SearchContext& ctx, const ProfileDefinition& profile,
                              const PageRequest& request) {
    const std::string& url = request.url;
    SearchHost& host = ctx.host;
    net::HttpClient& http = ctx.http;
    ProfileFetch fetch;
    if (host.stopRequested()) {
        fetch.outcome = FetchOutcome::Stopped;
        return fetch;
    }
    net::MemoryStream body;
    try {
        host.setMainStatus(GettingUrlText(http, url));
        host.setGaugeValue(0);
        net::BoundedStream bounded(body, kMaxPageBytes, "Result page larger than the page limit");
        if (request.post) {
            http.PostToStream(url, request.body, bounded);
        } else {
            http.GetToStream(url, bounded);
        }
    } catch (const std::exception& e) {
        const auto* failure = dynamic_cast<const net::HttpError*>(&e);
        const int status = http.responseCode();
        if (!host.stopRequested() && failure != nullptr &&
            failure->kind() == net::HttpErrorKind::HttpStatus && IsBlockedStatus(profile, status)) {
            fetch.outcome = FetchOutcome::Blocked;
            fetch.status = status;
            fetch.retryAfter = http.responseHeader("Retry-After");
            // The refusal's own text may say more than its status
            // (DuckDuckGo's one line with 403): the page marks read it.
            if (const auto* refusal = dynamic_cast<const net::HttpProtocolError*>(failure)) {
                const std::string& text = refusal->errorText();
                fetch.body =
                    ToUtf8(text, DeclaredCharset(http.responseHeader("Content-Type"), text));
            }
            DisconnectQuietly(http);
            return fetch;
        }
        DisconnectQuietly(http);
        fetch.outcome = host.stopRequested() ? FetchOutcome::Stopped : FetchOutcome::Failed;
        host.setMainStatus(host.stopRequested() ? std::string(texts::kStopped)
                                                : FetchFailureText(e));
        host.processEvents();
        return fetch;
    }
    if (host.stopRequested()) {
        DisconnectQuietly(http);
        host.setMainStatus(std::string(texts::kStoppedAfterDownload));
        fetch.outcome = FetchOutcome::Stopped;
        return fetch;
    }
    fetch.body =
        ToUtf8(body.data(), DeclaredCharset(http.responseHeader("Content-Type"), body.data()));
    host.setMainStatus(std::string(texts::kPageDone));
    fetch.outcome = FetchOutcome::Page;
    return fetch;
}

// Only the profile's own header fields go out: a profile that names the
// User-Agent or Accept field replaces the client's, the rest are added.
void ApplyRequestProfile(net::RequestFields& request, const ProfileDefinition& profile,
                         const ProfileLocale& locale) {
    request.Pragma.clear();
    request.CacheControl.clear();
    request.extraHeaders.clear();
    for (const auto& [name, text] : profile.headers) {
        const std::string value = FillHeaderValue(text, locale, profile.defaults);
        if (util::EqualsNoCase(name, "User-Agent")) {
            request.UserAgent = value;
        } else if (util::EqualsNoCase(name, "Accept")) {
            request.Accept = value;
        } else {
            request.extraHeaders.emplace_back(name, value);
        }
    }
}

// Hits a page held but the grid does not get are named after its rows.
void ShowLeftOutHits(SearchHost& host, const ProfilePage& page) {
    std::string note;
    if (page.oversizedHits > 0) {
        note = texts::OversizedHitsLeftOut(page.oversizedHits, kMaxHitTextBytes / 1024);
    }
    if (page.hitCapReached) {
        note += (note.empty() ? "" : ". ") + texts::HitCapReached(kMaxHitsPerPage);
    }
    if (!note.empty()) {
        host.setMainStatus(note);
    }
}

std::chrono::milliseconds PageDelay(const ProfileDefinition& profile, std::mt19937& random) {
    std::int64_t wait = profile.delayMinMs;
    if (profile.delayExtraMs > 0) {
        wait += std::uniform_int_distribution<std::int64_t>(0, profile.delayExtraMs)(random);
    }
    return std::chrono::milliseconds(wait);
}

}  // namespace

std::string PageRequest::key() const {
    // A GET is its URL, as for the path's pages; no URL holds a line break.
    return post ? "POST " + url + "\n" + body : url;
}

std::optional<PageRequest> FormRequest(const ProfileForm& form, const std::string& pageUrl) {
    net::Url target;
    try {
        const net::Url page = net::ParseUrl(pageUrl);
        std::string action = form.action.substr(0, form.action.find('#'));
        if (action.empty()) {
            target = page;
        } else if (action.front() == '?') {
            // Only the query changes: the page's own path stays whole.
            target = page;
            target.requestUri = page.requestUri.substr(0, page.requestUri.find('?')) + action;
        } else {
            target = net::ResolveLocation(page, action);
        }
    } catch (const std::exception&) {
        return std::nullopt;
    }
    PageRequest request;
    request.post = form.post;
    if (form.post) {
        request.body = form.body;
    } else {
        target.requestUri =
            target.requestUri.substr(0, target.requestUri.find('?')) + "?" + form.body;
    }
    request.url = target.scheme + "://" + target.hostHeader() + target.requestUri;
    return request;
}

std::string ProfileRequestUrl(const ProfileDefinition& profile, std::string_view siteText,
                              std::string_view keyword, std::int64_t pageIndex,
                              const ProfileLocale& locale) {
    // The profile file bounds the numbers so that this cannot overflow.
    const std::int64_t offset = profile.firstOffset + pageIndex * profile.offsetStep;
    std::string url(siteText);
    std::string_view path = profile.path;
    if (!url.empty() && url.back() == '/' && !path.empty() && path.front() == '/') {
        url.pop_back();
    }
    // The fields of `part` filled in; false when it names a locale field the
    // search chose no value for.
    const auto fill = [&](std::string_view part, std::string& out) {
        while (!part.empty()) {
            const std::size_t open = part.find('{');
            const std::size_t close = open == std::string_view::npos ? open : part.find('}', open);
            if (close == std::string_view::npos) {
                out.append(part);
                break;
            }
            out.append(part.substr(0, open));
            const std::string_view field = part.substr(open + 1, close - open - 1);
            if (field == "query") {
                out += KeywordText(keyword);
            } else if (field == "offset") {
                out += std::to_string(offset);
            } else if (field == "count") {
                out += std::to_string(profile.itemsPerPage);
            } else if (field == "lang" || field == "region") {
                out += KeywordText(LocaleValue(field, locale, profile.defaults));
            } else {
                out.append(part.substr(open, close - open + 1));
            }
            part.remove_prefix(close + 1);
        }
    };
    while (!path.empty()) {
        const std::size_t open = path.find('[');
        const std::size_t close = open == std::string_view::npos ? open : path.find(']', open);
        if (close == std::string_view::npos) {
            fill(path, url);
            break;
        }
        fill(path.substr(0, open), url);
        const std::string_view group = path.substr(open + 1, close - open - 1);
        const bool chosen =
            (group.find("{lang}") == std::string_view::npos || !locale.lang.empty()) &&
            (group.find("{region}") == std::string_view::npos || !locale.region.empty());
        if (chosen) {
            fill(group, url);
        }
        path.remove_prefix(close + 1);
    }
    return url;
}

std::string AbsoluteLink(std::string_view pageUrl, std::string_view link) {
    // RFC 3986: a scheme is a letter, then letters, digits, "+", "-", ".".
    const std::size_t colon = link.find(':');
    if (colon != std::string_view::npos && colon > 0 &&
        std::isalpha(static_cast<unsigned char>(link[0])) &&
        std::all_of(link.begin(), link.begin() + static_cast<std::ptrdiff_t>(colon), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
        })) {
        return std::string(link);
    }
    try {
        const net::Url page = net::ParseUrl(std::string(pageUrl));
        const std::string origin = page.scheme + "://" + page.hostHeader();
        if (link.starts_with("//")) {
            return page.scheme + ":" + std::string(link);
        }
        if (link.starts_with("/")) {
            return origin + std::string(link);
        }
        if (link.starts_with("?")) {
            return origin + page.requestUri.substr(0, page.requestUri.find('?')) +
                   std::string(link);
        }
        return origin + net::DirectoryPath(page.requestUri) + std::string(link);
    } catch (const std::exception&) {
        return std::string(link);
    }
}

std::optional<std::chrono::seconds> RetryAfterWait(std::string_view value, std::time_t now) {
    value = util::Trim(value);
    if (value.empty()) {
        return std::nullopt;
    }
    const std::int64_t limit = kLongestRetryAfter.count();
    if (std::all_of(value.begin(), value.end(),
                    [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
        std::int64_t seconds = 0;
        for (char c : value) {
            seconds = seconds * 10 + (c - '0');
            if (seconds > limit) {
                return std::nullopt;
            }
        }
        return std::chrono::seconds(seconds);
    }
    std::time_t when = 0;
    if (!net::ParseInternetDate(std::string(value), when)) {
        return std::nullopt;
    }
    if (when <= now) {
        return std::chrono::seconds(0);
    }
    if (when - now > limit) {
        return std::nullopt;
    }
    return std::chrono::seconds(when - now);
}

RunSummary RunProfilePass(const ProfileDefinition& profile, std::string_view siteText,
                          SearchContext& ctx) {
    SearchHost& host = ctx.host;
    RunSummary summary;
    // Shared with the extraction's thread, which a stop may leave running.
    std::shared_ptr<const CompiledProfile> compiled;
    try {
        compiled = std::make_shared<const CompiledProfile>(profile);
    } catch (const std::exception& e) {
        // The file's loader checks every expression; this is the last guard.
        host.setMainStatus(texts::ProfileUnusable(profile.name, e.what()));
        return summary;
    }

    // The command line and the window check the values; a value that could
    // split a header line must not reach one all the same.
    for (const auto& [what, value] :
         {std::pair{"language", &ctx.locale.lang}, std::pair{"region", &ctx.locale.region}}) {
        if (const std::string fault = LocaleValueFault(*value); !value->empty() && !fault.empty()) {
            host.setMainStatus(
                texts::ProfileUnusable(profile.name, std::string("the ") + what + " " + fault));
            return summary;
        }
    }
    const net::RequestFields savedRequest = ctx.http.Request;
    const util::ScopeGuard restoreRequest([&ctx, &savedRequest] {
        DisconnectQuietly(ctx.http);
        ctx.http.Request = savedRequest;
    });
    ApplyRequestProfile(ctx.http.Request, profile, ctx.locale);

    std::mt19937 random(std::random_device{}());
    const std::string keyword = host.keyword();
    std::int64_t failuresInARow = 0;
    bool hasNext = false;
    // With a next-page form: the request the last page's form asks for.
    std::optional<PageRequest> formRequest;
    PassProgress progress;
    for (std::int64_t pageIndex = 0;; ++pageIndex) {
        const PageRequest request =
            pageIndex > 0 && formRequest
                ? *formRequest
                : PageRequest{
                      .url = ProfileRequestUrl(profile, siteText, keyword, pageIndex, ctx.locale)};
        if (!progress.firstRequest(request.key())) {
            host.setMainStatus(std::string(texts::kUrlAgain));
            return summary;
        }
        if (pageIndex > 0) {
            const std::chrono::milliseconds delay = PageDelay(profile, random);
            if (delay.count() > 0) {
                host.setMainStatus(
                    texts::NextPageIn(std::chrono::ceil<std::chrono::seconds>(delay).count()));
                WaitBeforeRetry(host, delay);
                if (host.stopRequested()) {
                    return summary;
                }
            }
        }
        ProfileFetch fetch;
        for (int retries = 0;; ++retries) {
            fetch = FetchProfilePage(ctx, profile, request);
            if (fetch.outcome != FetchOutcome::Blocked) {
                break;
            }
            std::string reason = texts::HttpStatusReason(fetch.status);
            if (!fetch.body.empty() && !profile.blockedPages.empty()) {
                const std::optional<ProfilePage> marked =
                    ExtractWhileResponsive(compiled, std::move(fetch.body), host);
                if (marked && !marked->blockedReason.empty()) {
                    reason = marked->blockedReason + " (" + reason + ")";
                }
            }
            const auto wait = RetryAfterWait(fetch.retryAfter, std::time(nullptr));
            if (!wait || retries >= kBlockedRetries) {
                host.setMainStatus(texts::BlockedBy(profile.name, reason));
                summary.blocked = true;
                return summary;
            }
            host.setMainStatus(texts::BlockedBy(profile.name, reason) + ". " +
                               texts::RetryingIn(wait->count()));
            WaitBeforeRetry(host, *wait);
            if (host.stopRequested()) {
                return summary;
            }
        }

        if (fetch.outcome == FetchOutcome::Page) {
            const bool hadContent = !fetch.body.empty();
            std::optional<ProfilePage> extracted =
                ExtractWhileResponsive(compiled, std::move(fetch.body), host);
            if (!extracted) {
                host.setMainStatus(std::string(texts::kStoppedAfterDownload));
                return summary;
            }
            ProfilePage& page = *extracted;
            if (!page.unreadReason.empty()) {
                // Asking again gives the same page: the pass ends here.
                ++summary.pagesFailed;
                host.setMainStatus(page.unreadReason);
                return summary;
            }
            ++summary.pagesFetched;
            failuresInARow = 0;
            if (!page.blockedReason.empty()) {
                host.setMainStatus(texts::BlockedBy(profile.name, page.blockedReason));
                summary.blocked = true;
                return summary;
            }
            hasNext = page.hasNext;
            if (!profile.nextForm.empty()) {
                formRequest = hasNext ? FormRequest(*page.nextForm, request.url) : std::nullopt;
                hasNext = formRequest.has_value();
            }
            if (hadContent && page.hits.empty() && page.oversizedHits == 0 && !hasNext) {
                ++summary.pagesUnreadable;
                host.setPageNotice(texts::UnreadablePage(profile.name));
            }
            std::vector<std::string> hitKeys;
            for (const ProfileHit& hit : page.hits) {
                hitKeys.push_back(PassProgress::HitKey({hit.url, hit.title, hit.snippet}));
            }
            for (ProfileHit& hit : page.hits) {
                if (LimitReached(host) || host.stopRequested()) {
                    break;
                }
                AppendResultRow(host, ResultRow{.pos = {},
                                                .anchor = std::move(hit.title),
                                                .url = AbsoluteLink(request.url, hit.url),
                                                .engineSite = host.siteText(),
                                                .snippet = std::move(hit.snippet),
                                                .rawLink = std::move(hit.rawLink),
                                                .displayUrl = std::move(hit.displayUrl)});
            }
            ShowLeftOutHits(host, page);
            if (page.nextForm && !page.nextForm->fault.empty()) {
                host.setMainStatus(texts::NextFormNotSent(page.nextForm->fault));
            }
            std::string reason;
            if (progress.endsAfterPage(std::move(hitKeys), reason)) {
                host.setMainStatus(reason);
                return summary;
            }
        } else if (fetch.outcome == FetchOutcome::Failed) {
            ++summary.pagesFailed;
            ++failuresInARow;
            // Only a page that came tells where a form goes on; the status
            // says why the pass ends.
            if (!profile.nextForm.empty()) {
                return summary;
            }
        }
        if (LimitReached(host) || !hasNext || host.stopRequested()) {
            return summary;
        }
        if (failuresInARow > 0) {
            const std::chrono::milliseconds wait = RetryWait(failuresInARow);
            host.setMainStatus(RetryStatusText(wait));
            WaitBeforeRetry(host, wait);
        }
    }
}

}  // namespace search

#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "search/profiles/engine_profile.h"
#include "search/search_context.h"
#include "search/search_run.h"

namespace search {

// A server's Retry-After is taken up to this long; beyond it (or without
// one) a blocked pass ends at once: nobody waits an hour in front of a
// window, and a script can start the run again later.
inline constexpr std::chrono::seconds kLongestRetryAfter{120};
// How often one page is asked again after a block with Retry-After.
inline constexpr int kBlockedRetries = 2;

// The request URL of page `pageIndex` (0, 1, ...) of a profile: the site text
// followed by the profile's path with its fields filled in: "{query}" the
// form-encoded keyword, "{offset}" firstOffset + pageIndex * offsetStep,
// "{count}" itemsPerPage, "{lang}" and "{region}" the locale's values (else
// the profile's defaults), form-encoded; a "[...]" part only when the locale
// gives every field in it, without its brackets. A trailing "/" of the site
// text is dropped when the path starts with one.
std::string ProfileRequestUrl(const ProfileDefinition& profile, std::string_view siteText,
                              std::string_view keyword, std::int64_t pageIndex,
                              const ProfileLocale& locale = {});

// One request of a pass: a page's URL, and the body when it is posted.
struct PageRequest {
    std::string url = {};
    bool post = false;
    std::string body = {};  // application/x-www-form-urlencoded, for a POST

    // Equal keys, the same request: the method and the body count for a form.
    std::string key() const;
};

// The request a browser makes when the form is submitted on the page at
// pageUrl: the action resolved against pageUrl (an empty action is pageUrl
// itself; a fragment is dropped), posted with the body, or asked with GET
// with the body as the action's query in place of its own. Nothing when
// pageUrl is no absolute URL.
std::optional<PageRequest> FormRequest(const ProfileForm& form, const std::string& pageUrl);

// A hit's URL as a browser follows it from the page at pageUrl: unchanged
// when it starts with a scheme ("https:", "mailto:"), else read against
// pageUrl ("//host/...", "/path", "path", "?query"). An engine whose links
// do not carry the destination (Sogou's "/link?url=...") gives rows a link
// that still leads somewhere. A page URL that cannot be read leaves the
// link as it is.
std::string AbsoluteLink(std::string_view pageUrl, std::string_view link);

// The wait a Retry-After value asks for: delta seconds or an HTTP date
// (measured from `now`); nothing when the value is neither or the wait is
// longer than kLongestRetryAfter.
std::optional<std::chrono::seconds> RetryAfterWait(std::string_view value, std::time_t now);

// Runs one profile on the site text: page after page as the built-in passes
// do (status texts, gauge, item limit, Stop, the wait after a failed page),
// keeping the connection alive between pages and waiting the profile's delay
// before every page after the first. The pages after the first are the
// path's offsets, or with the profile's nextForm what each page's form asks
// for. A page without hits and without a next link or form ends the pass, with the page notice when
// the page had content (texts::UnreadablePage); a blocked page ends it with "Blocked by <name>:
// ..." (after honouring a short Retry-After) and marks the summary blocked.
RunSummary RunProfilePass(const ProfileDefinition& profile, std::string_view siteText,
                          SearchContext& ctx);

}  // namespace search

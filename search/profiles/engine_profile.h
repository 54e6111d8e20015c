#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace search {

// How a profile's hit link is unwrapped when the engine sends its clicks
// through a redirect: the parameter that holds the real destination.
struct LinkUnwrap {
    // Parameter name, compared exactly ("q", "uddg", "RU"); empty: links are
    // direct. Recognised after "?", "&", ";" or "/".
    std::string param;
    // The bytes that end the value ("&" for a query, "/" for Yahoo's path
    // form). The value is percent-decoded once; "+" is read as a space only
    // when this holds "&" (a query string).
    std::string until = "&";
};

// A sign on the page itself that the engine refused to answer (a CAPTCHA,
// a consent wall, an IP block): replayed captures of such pages come with
// HTTP 200, so the status alone cannot tell.
struct BlockMark {
    std::string reason;  // shown as "Blocked by <name>: <reason>"
    std::string xpath;   // blocked when it selects anything (or a true boolean)
};

// The language and region a search asks for, where a profile's path or
// header values name {lang} or {region}; empty: none chosen.
struct ProfileLocale {
    std::string lang = {};
    std::string region = {};
};

// One engine profile, as engines.json describes it. Plain data: parsing is
// in profile_file, extraction in profile_extract, the run in profile_run.
struct ProfileDefinition {
    std::string name;
    // A site line holding this text (case-sensitive) runs the profile, unless
    // the text selects one of the built-in passes: then only a tag does.
    std::string select;
    // Appended to the site URL for page i; "{query}" is the form-encoded
    // keyword, "{offset}" is firstOffset + i * offsetStep, "{count}" is
    // itemsPerPage, "{lang}" and "{region}" the search's language and region
    // (else the defaults). A part in "[...]" holding {lang} or {region} is
    // sent only when the search chose that value: without one the request is
    // the engine's plain one.
    std::string path;
    // {lang} and {region} where the search chose none; header values and the
    // path outside "[...]" may use a field only when it has a default.
    ProfileLocale defaults;
    std::int64_t firstOffset = 0;
    std::int64_t offsetStep = 10;
    std::int64_t itemsPerPage = 10;
    // Request header fields added after the client's own, in order; "{lang}"
    // and "{region}" in a value are filled in.
    std::vector<std::pair<std::string, std::string>> headers;

    // XPath 1.0. hits is evaluated on the document; link, title and snippet
    // relative to each hit; next on the document. link gives the href text,
    // title and snippet the text of what they select (empty snippet: none).
    std::string hits;
    std::string link;
    // Relative to each hit: the real destination where the page holds it
    // apart from the link (360 Search's data-mdurl). When it gives nothing,
    // the link, unwrapped, is the destination. Empty: the link always is.
    std::string destination;
    std::string title;
    std::string snippet;
    std::string next;
    // Relative to each hit, like snippet: the address the page shows for the
    // hit, for engines whose links do not carry the destination (Baidu's and
    // Sogou's /link?url=...). Empty: none.
    std::string displayUrl;
    // Instead of `next`, for engines whose next page is a form (DuckDuckGo's
    // HTML site): an XPath on the document selecting the <form> (or an
    // element in it), submitted as a browser would. Pages after the first
    // are then what the form asks for, not the path's offsets.
    std::string nextForm;

    LinkUnwrap unwrap;

    // HTTP statuses that mean "blocked", and page marks that do.
    std::vector<int> blockedStatuses = {403, 429, 503};
    std::vector<BlockMark> blockedPages;

    // Wait between pages: at least delayMinMs, plus a random part up to
    // delayExtraMs.
    std::int64_t delayMinMs = 0;
    std::int64_t delayExtraMs = 0;

    // Where the profile came from ("built-in", or the file's path), for the
    // messages and --list-engines.
    std::string origin;
};

// One hit of a profile page, every text in UTF-8.
struct ProfileHit {
    std::string url;         // the real destination (unwrapped)
    std::string rawLink;     // the href as written in the page, entities decoded
    std::string title;       // normalised
    std::string snippet;     // normalised; empty when the hit shows none
    std::string displayUrl;  // normalised; empty when the profile names none
};

// A next-page form as the page holds it, ready to send.
struct ProfileForm {
    std::string action = {};  // as written; empty: the page's own URL
    bool post = false;        // otherwise GET
    // The successful controls, application/x-www-form-urlencoded.
    std::string body = {};
    // Non-empty when the form is over its bounds and is not sent: says which.
    std::string fault = {};
};

// What one page of a profile gave.
struct ProfilePage {
    std::vector<ProfileHit> hits;
    // The next-page link's href as written in the page; empty when none.
    std::string nextHref;
    bool hasNext = false;
    // The next-page form of a profile with `nextForm`, when the page holds one.
    std::optional<ProfileForm> nextForm;
    // Non-empty when the page is a block page: the matching mark's reason.
    std::string blockedReason;
    // Non-empty when the page could not be read whole or its expressions ran
    // out of their budget: the status text saying so. Such a page gives no
    // hits and counts as a failed page.
    std::string unreadReason;
    // Hits left out because a text or the link is longer than its bound.
    std::size_t oversizedHits = 0;
    // The page held more hits than are taken from one page.
    bool hitCapReached = false;
};

}  // namespace search

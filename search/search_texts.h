#pragma once

// Every text the harvester shows to the user, in one place. The wording,
// spelling included ("Proccess", "sucessfull"), is the program's own and
// users' scripts match it: do not "correct" it. Tests keep literal copies,
// so a change here shows there.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace search::texts {

inline constexpr std::string_view kGettingUrl = "Getting URL: ";  // + URL + kGettingUrlEnd
inline constexpr std::string_view kGettingUrlEnd = "...";
// Between the URL and kGettingUrlEnd, followed by host:port, when a proxy
// carries the request.
inline constexpr std::string_view kViaProxy = " via proxy ";
inline constexpr std::string_view kPageDone = "Process completed sucessfull!";
// The same event in two spellings: a stop noticed after a completed download,
// and a stop that broke the download (or the Stop button itself).
inline constexpr std::string_view kStoppedAfterDownload = "Process aborted by user.";
inline constexpr std::string_view kStopped = "Proccess aborted by user.";
inline constexpr std::string_view kConnectionError =
    "Connection error, check if you are connected and url exists.";
// A failed download: kConnectionError, a space and why (the failure's own
// text), so that the described line stays the start of every such status.
inline std::string ConnectionErrorBecause(std::string_view cause) {
    return std::string(kConnectionError) + " " + std::string(cause);
}
// The reasons of the two URL faults whose client text is empty.
inline constexpr std::string_view kNotAbsoluteUrl = "Not an absolute URL (no \"://\").";
inline constexpr std::string_view kUnknownScheme = "The URL's scheme is neither http nor https.";

// The count shown after every row: "<count> items".
inline std::string ItemCount(std::size_t count) {
    return std::to_string(count) + " items";
}

// The wait before the next attempt after a failed page: "Retrying in <n> s...".
inline std::string RetryingIn(long long seconds) {
    return "Retrying in " + std::to_string(seconds) + " s...";
}

// A pass that went round in circles and was ended.
inline constexpr std::string_view kUrlAgain =
    "Pass ended: the next page's URL was requested before in this pass.";
inline constexpr std::string_view kSamePageAgain =
    "Pass ended: the page had the same hits as the page before.";
// "Pass ended: <n> pages in a row without a hit."
inline std::string PagesWithoutHit(int pages) {
    return "Pass ended: " + std::to_string(pages) + " pages in a row without a hit.";
}

// "Pass ended: <why> (not sent)." for a next-page form over its bounds.
inline std::string NextFormNotSent(std::string_view why) {
    return "Pass ended: " + std::string(why) + " (not sent).";
}

// The page notice (SearchHost::setPageNotice) after a page that arrived
// with content but held nothing the pass recognises, neither a hit nor a
// next link: the engine's pages have likely changed since the pass was
// written. No pass can tell such a page from an engine's "no results" page,
// so both say it. For a built-in pass (an empty profile name): "The page
// held no hits this pass can read: the engine may have changed its pages;
// an engine profile may serve."; for a profile, that the profile may need
// updating.
inline std::string UnreadablePage(std::string_view profile = {}) {
    if (profile.empty()) {
        return "The page held no hits this pass can read: the engine may have changed its "
               "pages; an engine profile may serve.";
    }
    return "The page held no hits engine profile " + std::string(profile) +
           " can read: the engine may have changed its pages; the profile may need updating.";
}

// An engine profile's run, beyond the built-in passes' texts.
// "Blocked by <profile>: <reason>": the engine refused to answer.
inline std::string BlockedBy(std::string_view profile, std::string_view reason) {
    return "Blocked by " + std::string(profile) + ": " + std::string(reason);
}
// The reason given for a blocking status: "HTTP <status>".
inline std::string HttpStatusReason(int status) {
    return "HTTP " + std::to_string(status);
}
// The profile's pause between pages: "Next page in <n> s...".
inline std::string NextPageIn(long long seconds) {
    return "Next page in " + std::to_string(seconds) + " s...";
}
// A profile that cannot run: "Engine profile <name> cannot run: <why>".
inline std::string ProfileUnusable(std::string_view profile, std::string_view why) {
    return "Engine profile " + std::string(profile) + " cannot run: " + std::string(why);
}
// A page an engine profile could not read whole, which counts as failed:
// "Page not read whole: <why>".
inline std::string PageNotReadWhole(std::string_view why) {
    return "Page not read whole: " + std::string(why);
}
// After a page's rows, when hits were left out: "<n> hits left out: text or
// link longer than <bound> KiB".
inline std::string OversizedHitsLeftOut(std::size_t count, std::size_t boundKiB) {
    return std::to_string(count) + (count == 1 ? " hit" : " hits") +
           " left out: text or link longer than " + std::to_string(boundKiB) + " KiB";
}
// After a page's rows, when it held more hits than are taken from a page:
// "Only the first <n> hits of the page were taken".
inline std::string HitCapReached(std::size_t cap) {
    return "Only the first " + std::to_string(cap) + " hits of the page were taken";
}
// A site line's tag that names no profile: "Unknown engine profile: <name>".
inline std::string UnknownProfile(std::string_view name) {
    return "Unknown engine profile: " + std::string(name);
}
// A site line that selects no built-in pass and no profile, so that a search
// on it would end without a request: "This site line runs no engine pass.",
// followed by " Unknown engine profile: <name>" for each name of its tag that
// is nothing.
inline constexpr std::string_view kNoEnginePass = "This site line runs no engine pass.";
inline std::string NoEnginePass(const std::vector<std::string>& unknownNames) {
    std::string text(kNoEnginePass);
    for (const std::string& name : unknownNames) {
        text += ' ';
        text += UnknownProfile(name);
    }
    return text;
}

}  // namespace search::texts

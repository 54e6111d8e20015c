#pragma once

// Every text the harvester shows to the user, in one place. The wording,
// spelling included ("Proccess", "sucessfull"), is the program's own and
// users' scripts match it: do not "correct" it. Tests keep literal copies,
// so a change here shows there.

#include <string>
#include <string_view>

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
// A failure with a cause the user can act on (a certificate, a proxy):
// kConnectionError, a space and the failure's own text.
inline std::string ConnectionErrorBecause(std::string_view cause) {
    return std::string(kConnectionError) + " " + std::string(cause);
}

// The count shown after every row: "<count> items".
inline std::string ItemCount(std::size_t count) {
    return std::to_string(count) + " items";
}

// The wait before the next attempt after a failed page: "Retrying in <n> s...".
inline std::string RetryingIn(long long seconds) {
    return "Retrying in " + std::to_string(seconds) + " s...";
}

}  // namespace search::texts

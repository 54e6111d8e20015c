#pragma once

// The live-update check: download the descriptor, compare its version with
// the program's, offer the update and hand over to the updater.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "net/http_client.h"
#include "publisher/publisher_host.h"

namespace publisher {

// The live-update folder the program asks; it ends in "/".
inline constexpr std::string_view LiveUpdateBaseURL =
    "https://update.zorvane.example/liveupdate/zorvane/";

inline constexpr std::string_view kDescriptorName = "mainappupdate.inf";
// The updater beside the program: the executable a brander ships for Linux,
// or the one the program has always started; the first is taken when both
// are there.
inline constexpr std::string_view kLinuxUpdaterName = "updater";
inline constexpr std::string_view kUpdaterName = "Updater.exe";
// A descriptor is a few lines; a server sending more could otherwise fill
// the disk, so beyond this the download fails like a broken transfer.
inline constexpr std::uint64_t kMaxDescriptorBytes = 1024 * 1024;
// A version is a few characters ("2.0"). A longer text is no version: it
// would only fill the offer's message box and cost time to read.
inline constexpr std::size_t kMaxVersionLength = 32;

// A version text as a single-precision number: optional blanks, an optional
// sign, digits with at most one ".", an optional exponent, optional blanks.
// 0 for any other text (a comma, two points, empty, longer than
// kMaxVersionLength) and for a number beyond the single-precision range.
float DescriptorVersion(std::string_view text);

// Whether a descriptor version is higher than util::ProgramVersion, compared as the
// program always has: the descriptor's number in single precision.
bool IsNewerVersion(std::string_view descriptorVersion);

// Whether path is a regular file that we may execute.
bool IsRunnableFile(const std::string& path);

// The updater in folder (ending in "/"): kLinuxUpdaterName, else
// kUpdaterName, each only as a runnable file; nullopt for neither.
std::optional<std::string> FindUpdater(const std::string& folder);

// Downloads url into the file at path through http, which it disconnects
// afterwards: an old file is deleted first, the host handles its events once
// before the request. Only url's own scheme, host and port may serve it: a
// redirect anywhere else fails the download before that URL is asked.
// nullopt once the file has arrived; on any failure of the download,
// including more than kMaxDescriptorBytes, the reason in one line for the
// user (never empty), and the partial file is deleted. A client busy with
// another request is left alone, which fails the download too. Throws
// std::runtime_error when the file cannot be created.
std::optional<std::string> DownloadToFile(net::HttpClient& http, PublisherHost& host,
                                          const std::string& url, const std::string& path);

// How an update check ended. CheckFailed: the descriptor could not be
// fetched, so nothing is known about a newer version. UpdaterMissing: the
// offer was accepted without an updater beside the program; the user was
// offered the update folder in the browser instead.
enum class UpdateOutcome { NoUpdate, Declined, UpdaterMissing, UpdaterStarted, CheckFailed };

// The update check against baseUrl (LiveUpdateBaseURL in the program; it
// ends in "/"). The descriptor goes to the program folder, or to the host's
// cache folder when the program folder cannot take it. Every question and
// notice goes through the host; Silent suppresses the no-update notice and
// the notice of a check that could not be made (which names the address
// and the reason), and a silent check that finds no folder for the
// descriptor ends as NoUpdate without a word. Otherwise that failure throws
// std::runtime_error.
UpdateOutcome CheckForUpdate(net::HttpClient& http, PublisherHost& host, std::string_view baseUrl,
                             bool Silent);

}  // namespace publisher

#pragma once

// Every text the publisher services show to the user, in one place.

#include <string_view>

namespace publisher::texts {

inline constexpr std::string_view kNoReply =
    "There is a trouble accessing the news site. Contact your provider.";
inline constexpr std::string_view kConnectionFail =
    "There is a trouble in the settings file on the news site.";
inline constexpr std::string_view kInvalidUser =
    "There is a trouble with the Publisher Id. Contact your provider.";
inline constexpr std::string_view kInvalidProduct =
    "There is a trouble with the product validation. Contact your provider.";
inline constexpr std::string_view kInvalidNews =
    "There is a trouble with this news. Contact your provider.";

inline constexpr std::string_view kNoNews = "There's no news for this application!";
inline constexpr std::string_view kNewsHint = "You've Got A Message!\r\n";

inline constexpr std::string_view kUpdateOfferStart = "There is a new update: (version ";
inline constexpr std::string_view kUpdateOfferEnd =
    ") available for your application!. Do you want download this update now?";
inline constexpr std::string_view kUpdateClose =
    "To update your software the application will close to\n\r"
    "replace some files. Do you want to update now?";
// Without an updater beside the program: followed by the update folder's
// address and kOpenUpdateFolder.
inline constexpr std::string_view kUpdaterMissing =
    "The updater module is missing. The new version is in the update folder\n";
inline constexpr std::string_view kOpenUpdateFolder =
    "\nDo you want to open this address in your web browser?";
inline constexpr std::string_view kNoUpdate = "There's no new updates for this application!";
// Followed by the address asked, ":", a line break and the reason.
inline constexpr std::string_view kUpdateCheckFailed = "Could not check for updates at ";
// The reasons of a failed download that the client's own texts do not give.
inline constexpr std::string_view kUpdateRedirectedAway =
    "The update server sent the request to another server, which is not asked.";
inline constexpr std::string_view kUpdateDownloadFailed = "The download failed.";

}  // namespace publisher::texts

#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The window's fixed messages and dialog texts, in one place. Their wording,
// spelling and grammar included ("Are you sure to delete all?"), is the
// program's own: do not "correct" it. Tests keep literal copies, so a change
// here shows there. Captions of controls stay with the controls they label.

namespace app::texts {

inline constexpr const char* kNoItemsToDelete = "There are no items to delete.";
inline constexpr const char* kConfirmDeleteSelected =
    "Are you sure to delete the selected item(s)?";
inline constexpr const char* kConfirmDeleteAll = "Are you sure to delete all?";

inline constexpr const char* kExportTitle = "Export all data";
// The file types of the export, in the order of SaveDialog::Choice::fileType.
inline constexpr const char* kExportFilter =
    "Comma delimited (*.csv)|*.csv|CSV UTF-8 with BOM (*.csv)|*.csv";
inline constexpr std::size_t kExportWithBom = 1;
inline constexpr const char* kExportEmptyList = "The list is empty. Export the header line alone?";

inline constexpr const char* kSearchWithoutKeyword = "Search without a keyword?";
inline constexpr const char* kDontAskAgain = "Don't ask again";
inline constexpr const char* kNoBrowser = "No web browser is registered to open the URL.";
inline constexpr const char* kNotAWebUrl =
    "The URL is not an http or https address; it is not opened in the web browser.";

inline std::string Rows(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " row" : " rows");
}

inline std::string CloseAndDiscard(std::size_t rows) {
    return "Close and discard " + Rows(rows) + "?";
}

// path is the file's full path, 8-bit.
inline std::string Exported(std::size_t rows, const std::string& path) {
    return Rows(rows) + " exported to " + path;
}

// Where the site list is looked for, when it gave no site.
inline std::string NoSitesFile(const std::string& path) {
    return "No engine sites: " + path + " is missing.";
}
inline std::string EmptySitesFile(const std::string& path) {
    return "No engine sites: " + path + " is empty.";
}
inline std::string SiteLineTooLong(std::size_t limit) {
    return "This site line is too long: at most " + std::to_string(limit) + " bytes.";
}
inline constexpr const char* kSiteLineBreak = "A site line is one line, without line breaks.";
inline constexpr const char* kNoConfigFolder =
    "The site line cannot be kept for the next start: neither XDG_CONFIG_HOME nor HOME names a "
    "folder for the program's settings.";

// Engine profile files that were skipped, each message naming the file and
// the place of the fault.
inline std::string ProfileFilesSkipped(const std::vector<std::string>& errors) {
    std::string text = "Engine profiles skipped: ";
    for (std::size_t i = 0; i < errors.size(); ++i) {
        text += (i == 0 ? "" : "; ") + errors[i];
    }
    return text;
}

// The rank history. A failure of the history is said under the status and
// the search goes on without it.
inline std::string HistoryFailed(const std::string& what) {
    return what + "; searching on without history.";
}
inline constexpr const char* kNoDataFolder =
    "No history: neither XDG_DATA_HOME nor HOME names a folder for it";
// path: the history file, 8-bit.
inline std::string HistoryDamaged(const std::string& path) {
    return "The history file " + path +
           " is damaged or is no history. Move it aside and start a new history?";
}
inline std::string HistoryMovedAside(const std::string& aside) {
    return "The damaged history was moved to " + aside + "; a new one is started.";
}
inline constexpr const char* kConfirmClearHistory =
    "Delete the whole history of searches? This cannot be undone.";
inline std::string ConfirmDeleteRun(const std::string& keyword, const std::string& started) {
    return "Delete the run of \"" + keyword + "\" of " + started + " from the history?";
}
inline std::string ConfirmDeleteKeyword(const std::string& keyword, std::int64_t runs) {
    return "Delete the history of \"" + keyword + "\" (" + std::to_string(runs) +
           (runs == 1 ? " run" : " runs") + ")?";
}
inline std::string DomainsLeftOut(const std::string& domains, std::size_t limit) {
    return "Not followed: " + domains +
           " (a public suffix such as co.uk, too long a name, or more than " +
           std::to_string(limit) + " domains).";
}

}  // namespace app::texts

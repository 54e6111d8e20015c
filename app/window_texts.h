#pragma once

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
inline constexpr const char* kExportFilter = "Comma delimited (*.csv)|*.csv";

}  // namespace app::texts

// A history file that is no database, or a damaged one: the program works on
// without history, and the user may move the file aside for a new one.
#pragma once

#include <string>

#include "history/sqlite_handle.h"

namespace history {

// Whether the error says the file itself is unusable, rather than the disk,
// the rights or another program.
bool IsDamagedFile(const HistoryError& error);

// Renames path, and the journal files SQLite keeps beside it, to
// "<path>.damaged" (then ".damaged-2" and on, keeping earlier ones); gives
// the new name. Throws HistoryError when the file cannot be moved.
std::string MoveAside(const std::string& path);

}  // namespace history

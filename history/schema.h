// The history database's tables, and the way an older file is brought up to
// them: PRAGMA user_version holds the version a file was last migrated to.
#pragma once

#include <sqlite3.h>

namespace history {

// The version this program writes. A file that says more was written by a
// newer program, whose tables this one must not touch.
inline constexpr int kSchemaVersion = 1;

// The version db says it holds (0: a new, empty file).
int SchemaVersion(sqlite3* db);

// Takes db from its version to kSchemaVersion, every step in the one
// transaction, so that a file is never left half migrated. Throws
// HistoryError for a file of a newer version.
void Migrate(sqlite3* db);

}  // namespace history

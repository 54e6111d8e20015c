// Deleting what a user no longer wants in the history: one run, every run of
// a keyword, or everything. The texts only those runs used go with them.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>

namespace history {

// Drops the keywords, addresses, anchor texts and engine sites no run or
// row refers to any more: what deleting runs leaves behind.
void RemoveUnusedTexts(sqlite3* db);

// Each gives the number of runs deleted, with their rows.
std::int64_t DeleteRun(sqlite3* db, std::int64_t run);
std::int64_t DeleteKeyword(sqlite3* db, const std::string& keyword);
std::int64_t DeleteAllRuns(sqlite3* db);

}  // namespace history

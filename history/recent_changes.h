// The big moves of recent runs: what a daily mail or a notification reports.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <vector>

#include "history/run_diff.h"
#include "history/run_queries.h"

namespace history {

struct Change {
    std::string keyword;
    // The run compared and the run of the same keyword before it.
    RunInfo before;
    RunInfo after;
    DiffEntry entry;
};

// For every run started at or after since, the addresses that moved up or
// down by at least minMove places since the keyword's run before it. New and
// lost hits are left out: every day brings some at the bottom of the list.
std::vector<Change> RecentChanges(sqlite3* db, util::UtcSeconds since, std::int64_t minMove);

}  // namespace history

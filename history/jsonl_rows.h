// Runs as JSON Lines, the form zorvane-harvest --format jsonl writes, so that
// rows harvested on other machines join the history and a history can be
// carried to another one.
#pragma once

#include <cstdint>
#include <istream>
#include <string>

#include "history/history_store.h"
#include "history/run_queries.h"

namespace history {

// A line longer than this is no row: the harvester's lines hold an anchor,
// two addresses and a snippet, a few kilobytes at most.
inline constexpr std::size_t kMaxImportLineBytes = 1 << 20;
// One run is held whole before it is stored, to know its identity: no
// harvest comes near this many rows.
inline constexpr std::size_t kMaxImportRunRows = 2'000'000;

// One row as a line (with its LF): the harvester's fields ("position",
// "anchor", "url", "engine_site", "snippet" and "display_url" where
// given, "keyword"), and the run's "run" (uid) and "started".
std::string RowLine(const RunInfo& run, const RunRow& row);

struct ImportCount {
    std::int64_t runsAdded = 0;
    std::int64_t runsKnown = 0;
    std::int64_t rows = 0;
};

// Reads JSON Lines into store. A run is a stretch of lines with the same
// "run" and "keyword" whose positions rise; a position that does not rise
// starts the next run (two harvests appended to one file). A line without
// "keyword" takes defaultKeyword; without either it is an error. A run
// without "run" is known by a digest of its lines, and without "started" is
// dated now (util::UtcNow): importing the same rows again finds them stored.
// Throws HistoryError naming the line for a line that is no row; the runs
// before it stay stored.
ImportCount ImportJsonLines(HistoryStore& store, std::istream& in,
                            const std::string& defaultKeyword = {});

}  // namespace history

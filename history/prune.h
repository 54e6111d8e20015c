#pragma once

#include <sqlite3.h>

#include <cstdint>

#include "util/utc_clock.h"

namespace history {

// Removes every run started before `before` with its rows, then the texts no
// row or run refers to any more; gives the number of runs removed.
std::int64_t PruneRuns(sqlite3* db, util::UtcSeconds before);

}  // namespace history

// Reading runs and their rows back.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "util/utc_clock.h"

namespace history {

struct RunInfo {
    std::int64_t id = 0;
    std::string uid;
    std::string started;
    // Empty while running, or when the program died first.
    std::string ended;
    std::string keyword;
    std::string siteLine;
    std::string steps;
    std::int64_t itemLimit = 0;
    std::string outcome;
    std::string version;
    std::int64_t rowCount = 0;
};

struct RunRow {
    std::int64_t position = 0;
    std::string anchor = {};
    std::string url = {};
    std::string engineSite = {};
    std::string snippet = {};
    std::string displayUrl = {};
};

// The runs, oldest first: of one keyword only when given, started at or
// after `since` only when given.
std::vector<RunInfo> ListRuns(sqlite3* db, const std::optional<std::string>& keyword = {},
                              std::optional<util::UtcSeconds> since = {});

// The run a user names: by its number, or by its uid.
std::optional<RunInfo> FindRun(sqlite3* db, std::string_view name);

// A run's rows by position.
std::vector<RunRow> RowsOf(sqlite3* db, std::int64_t run);

}  // namespace history

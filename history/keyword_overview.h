// The History window's list: each keyword with its last run and where the
// followed domains stood in it and in the run before.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "history/run_diff.h"
#include "history/run_queries.h"

namespace history {

struct DomainStanding {
    std::string domain;
    // The domain's best position in the last run and in the one before;
    // nothing where it had no row (or there is no run before).
    std::optional<std::int64_t> last;
    std::optional<std::int64_t> before;
};

struct KeywordOverview {
    std::string keyword;
    RunInfo lastRun;
    std::int64_t runCount = 0;
    bool hasRunBefore = false;
    // In the order the domains were given.
    std::vector<DomainStanding> domains = {};
};

// Every keyword of the history, by name, each with its domains' standing.
std::vector<KeywordOverview> KeywordOverviews(sqlite3* db, const std::vector<std::string>& domains);

// The best position of a row of domain (or its subdomains) in rows.
std::optional<std::int64_t> BestPositionOf(const std::vector<RunRow>& rows,
                                           const std::string& domain);

// How a standing moved from the run before: nothing when it stayed, or
// when it is in neither run.
std::optional<DiffEntry> MoveOf(std::optional<std::int64_t> before,
                                std::optional<std::int64_t> after);

// "new", "lost", "up 3", "down 1": a move as the window marks it.
std::string MoveMark(const DiffEntry& entry);

}  // namespace history

// Where each domain stood in each run of a keyword.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "history/run_queries.h"

namespace history {

struct DomainPositions {
    std::string domain;
    // The domain's best position in each run of PositionTable::runs;
    // nothing where it had no row.
    std::vector<std::optional<std::int64_t>> perRun;
    std::optional<std::int64_t> best;
    std::optional<std::int64_t> last;
    // Places gained from the run before the last to the last (negative: lost
    // places); nothing when it is missing from either of them.
    std::optional<std::int64_t> change;
};

struct PositionTable {
    std::vector<RunInfo> runs;
    std::vector<DomainPositions> domains;
};

struct PositionQuery {
    std::string keyword;
    // The domains to follow, each with its subdomains; none: every site
    // (registrable domain) that had a row, best first.
    std::vector<std::string> domains = {};
    // Only rows whose engine site holds this text (case-insensitive); empty:
    // every row.
    std::string engine = {};
};

PositionTable Positions(sqlite3* db, const PositionQuery& query);

}  // namespace history

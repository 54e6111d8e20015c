// What changed between two result lists of a keyword.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "history/run_queries.h"

namespace history {

enum class Move { New, Lost, Up, Down };

// "new", "lost", "up", "down".
std::string MoveName(Move move);

struct DiffEntry {
    Move move = Move::New;
    std::string url;
    // Positions in the earlier and the later run; a new hit has no before,
    // a lost one no after.
    std::optional<std::int64_t> before;
    std::optional<std::int64_t> after;
    // Places moved, for Up and Down; 0 otherwise.
    std::int64_t distance = 0;
};

// Every address that is new in after, lost from before, or at another
// position, compared by its best position in each run; unmoved ones are
// left out. Ordered by the later position, then the lost ones by their
// earlier position.
std::vector<DiffEntry> DiffRuns(const std::vector<RunRow>& before,
                                const std::vector<RunRow>& after);

}  // namespace history

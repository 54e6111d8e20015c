#include "history/recent_changes.h"

#include <map>

namespace history {

std::vector<Change> RecentChanges(sqlite3* db, util::UtcSeconds since, std::int64_t minMove) {
    const std::string from = util::FormatUtcTime(since);
    // Runs come oldest first, so each keyword's run before is the one seen last.
    std::map<std::string, RunInfo> previous;
    std::vector<Change> changes;
    for (const RunInfo& run : ListRuns(db)) {
        const auto before = previous.find(run.keyword);
        if (run.started >= from && before != previous.end()) {
            for (const DiffEntry& entry :
                 DiffRuns(RowsOf(db, before->second.id), RowsOf(db, run.id))) {
                if ((entry.move == Move::Up || entry.move == Move::Down) &&
                    entry.distance >= minMove) {
                    changes.push_back({.keyword = run.keyword,
                                       .before = before->second,
                                       .after = run,
                                       .entry = entry});
                }
            }
        }
        // A run that found nothing (every page failed) is no list to compare with.
        if (run.rowCount > 0) {
            previous[run.keyword] = run;
        }
    }
    return changes;
}

}  // namespace history

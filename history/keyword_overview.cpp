#include "history/keyword_overview.h"

#include <map>

#include "history/url_domain.h"

namespace history {

std::optional<std::int64_t> BestPositionOf(const std::vector<RunRow>& rows,
                                           const std::string& domain) {
    std::optional<std::int64_t> best;
    for (const RunRow& row : rows) {
        if ((!best || row.position < *best) && InDomain(HostOf(row.url), domain)) {
            best = row.position;
        }
    }
    return best;
}

std::vector<KeywordOverview> KeywordOverviews(sqlite3* db,
                                              const std::vector<std::string>& domains) {
    // Runs come oldest first: the last two of each keyword are what count.
    std::map<std::string, std::vector<RunInfo>> byKeyword;
    for (RunInfo& run : ListRuns(db)) {
        std::vector<RunInfo>& runs = byKeyword[run.keyword];
        runs.push_back(std::move(run));
    }
    std::vector<KeywordOverview> overviews;
    for (auto& [keyword, runs] : byKeyword) {
        KeywordOverview overview{.keyword = keyword,
                                 .lastRun = runs.back(),
                                 .runCount = static_cast<std::int64_t>(runs.size()),
                                 .hasRunBefore = runs.size() > 1};
        const std::vector<RunRow> last = RowsOf(db, runs.back().id);
        const std::vector<RunRow> before =
            overview.hasRunBefore ? RowsOf(db, runs[runs.size() - 2].id) : std::vector<RunRow>();
        for (const std::string& domain : domains) {
            overview.domains.push_back({.domain = domain,
                                        .last = BestPositionOf(last, domain),
                                        .before = BestPositionOf(before, domain)});
        }
        overviews.push_back(std::move(overview));
    }
    return overviews;
}

std::optional<DiffEntry> MoveOf(std::optional<std::int64_t> before,
                                std::optional<std::int64_t> after) {
    if ((!before && !after) || before == after) {
        return std::nullopt;
    }
    DiffEntry entry;
    entry.before = before;
    entry.after = after;
    if (!before) {
        entry.move = Move::New;
    } else if (!after) {
        entry.move = Move::Lost;
    } else {
        entry.move = *after < *before ? Move::Up : Move::Down;
        entry.distance = *after < *before ? *before - *after : *after - *before;
    }
    return entry;
}

std::string MoveMark(const DiffEntry& entry) {
    const std::string name = MoveName(entry.move);
    return entry.distance > 0 ? name + " " + std::to_string(entry.distance) : name;
}

}  // namespace history

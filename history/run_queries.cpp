#include "history/run_queries.h"

#include <charconv>

#include "history/sqlite_handle.h"

namespace history {
namespace {

constexpr const char* kRunColumns =
    "SELECT run.id, uid, started, ended, keyword.text, site_line, steps, item_limit, outcome,"
    " version, (SELECT count(*) FROM row WHERE run_id = run.id)"
    " FROM run JOIN keyword ON keyword.id = keyword_id ";

RunInfo RunAt(const Statement& query) {
    return {.id = query.integer(0),
            .uid = query.text(1),
            .started = query.text(2),
            .ended = query.text(3),
            .keyword = query.text(4),
            .siteLine = query.text(5),
            .steps = query.text(6),
            .itemLimit = query.integer(7),
            .outcome = query.text(8),
            .version = query.text(9),
            .rowCount = query.integer(10)};
}

}  // namespace

std::vector<RunInfo> ListRuns(sqlite3* db, const std::optional<std::string>& keyword,
                              std::optional<util::UtcSeconds> since) {
    // Times are stored in one fixed ISO form, so text order is time order.
    Statement query(db,
                    std::string(kRunColumns) +
                        "WHERE (?1 IS NULL OR keyword.text = ?1) AND (?2 IS NULL OR started >= ?2)"
                        " ORDER BY started, run.id");
    if (keyword) {
        query.bind(1, *keyword);
    }
    if (since) {
        query.bind(2, util::FormatUtcTime(*since));
    }
    std::vector<RunInfo> runs;
    while (query.step()) {
        runs.push_back(RunAt(query));
    }
    return runs;
}

std::optional<RunInfo> FindRun(sqlite3* db, std::string_view name) {
    std::int64_t id = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), id);
    const bool isNumber = error == std::errc() && end == name.data() + name.size();
    Statement query(db,
                    std::string(kRunColumns) + (isNumber ? "WHERE run.id = ?1" : "WHERE uid = ?1"));
    if (isNumber) {
        query.bind(1, id);
    } else {
        query.bind(1, name);
    }
    if (!query.step()) {
        return std::nullopt;
    }
    return RunAt(query);
}

std::vector<RunRow> RowsOf(sqlite3* db, std::int64_t run) {
    Statement query(db,
                    "SELECT position, anchor.text, url.text, site.text, snippet, display_url"
                    " FROM row JOIN anchor ON anchor.id = anchor_id JOIN url ON url.id = url_id"
                    " JOIN site ON site.id = site_id WHERE run_id = ?1 ORDER BY position");
    query.bind(1, run);
    std::vector<RunRow> rows;
    while (query.step()) {
        rows.push_back({.position = query.integer(0),
                        .anchor = query.text(1),
                        .url = query.text(2),
                        .engineSite = query.text(3),
                        .snippet = query.text(4),
                        .displayUrl = query.text(5)});
    }
    return rows;
}

}  // namespace history

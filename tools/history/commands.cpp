#include "tools/history/commands.h"

#include <charconv>

#include "history/jsonl_rows.h"
#include "history/positions.h"
#include "history/recent_changes.h"
#include "history/run_diff.h"
#include "history/run_queries.h"
#include "history/url_domain.h"

namespace historytool {
namespace {

using history::RunInfo;

// Further back than any history goes; bounds the arithmetic of "--since".
constexpr std::int64_t kLongestSinceDays = 100000;

RunInfo NamedRun(history::HistoryStore& store, const std::string& name) {
    const auto run = history::FindRun(store.db(), name);
    if (!run) {
        throw UsageProblem("no run " + name + " in " + store.path() +
                           " (zorvane-history runs lists them)");
    }
    return *run;
}

}  // namespace

Table RunsTable(history::HistoryStore& store, const std::optional<std::string>& keyword,
                std::optional<util::UtcSeconds> since) {
    Table table{{"run", "started", "keyword", "rows", "outcome"}, {}};
    for (const RunInfo& run : history::ListRuns(store.db(), keyword, since)) {
        table.rows.push_back({Cell::Number(run.id), Cell::Text(run.started),
                              Cell::Text(run.keyword), Cell::Number(run.rowCount),
                              Cell::Text(run.outcome)});
    }
    return table;
}

Table ShowTable(history::HistoryStore& store, const std::string& name) {
    const RunInfo run = NamedRun(store, name);
    Table table{{"position", "anchor", "url", "engine site", "snippet", "display url"}, {}};
    for (const history::RunRow& row : history::RowsOf(store.db(), run.id)) {
        table.rows.push_back({Cell::Number(row.position), Cell::Text(row.anchor),
                              Cell::Text(row.url), Cell::Text(row.engineSite),
                              Cell::Text(row.snippet), Cell::Text(row.displayUrl)});
    }
    return table;
}

Table PositionsTable(history::HistoryStore& store, const std::string& keyword,
                     const std::vector<std::string>& domains, const std::string& engine) {
    for (const std::string& domain : domains) {
        if (history::IsPublicSuffix(domain)) {
            throw UsageProblem("--domain " + domain +
                               " is a public suffix: it would follow every site below it");
        }
    }
    const history::PositionTable positions =
        history::Positions(store.db(), {.keyword = keyword, .domains = domains, .engine = engine});
    Table table;
    table.columns.push_back("domain");
    for (const RunInfo& run : positions.runs) {
        table.columns.push_back(run.started);
    }
    for (const char* column : {"best", "last", "change"}) {
        table.columns.push_back(column);
    }
    for (const history::DomainPositions& line : positions.domains) {
        std::vector<Cell> cells{Cell::Text(line.domain)};
        for (const auto& position : line.perRun) {
            cells.push_back(Cell::Maybe(position));
        }
        cells.push_back(Cell::Maybe(line.best));
        cells.push_back(Cell::Maybe(line.last));
        cells.push_back(Cell::Maybe(line.change));
        table.rows.push_back(std::move(cells));
    }
    return table;
}

Table DiffTable(history::HistoryStore& store, const std::string& runA, const std::string& runB) {
    const RunInfo before = NamedRun(store, runA);
    const RunInfo after = NamedRun(store, runB);
    Table table{{"move", "distance", "before", "after", "url"}, {}};
    for (const history::DiffEntry& entry : history::DiffRuns(
             history::RowsOf(store.db(), before.id), history::RowsOf(store.db(), after.id))) {
        table.rows.push_back({Cell::Text(history::MoveName(entry.move)),
                              entry.distance > 0 ? Cell::Number(entry.distance) : Cell{},
                              Cell::Maybe(entry.before), Cell::Maybe(entry.after),
                              Cell::Text(entry.url)});
    }
    return table;
}

Table ChangesTable(history::HistoryStore& store, util::UtcSeconds since, std::int64_t minMove) {
    Table table{{"keyword", "run", "started", "move", "distance", "before", "after", "url"}, {}};
    for (const history::Change& change : history::RecentChanges(store.db(), since, minMove)) {
        table.rows.push_back({Cell::Text(change.keyword), Cell::Number(change.after.id),
                              Cell::Text(change.after.started),
                              Cell::Text(history::MoveName(change.entry.move)),
                              Cell::Number(change.entry.distance), Cell::Maybe(change.entry.before),
                              Cell::Maybe(change.entry.after), Cell::Text(change.entry.url)});
    }
    return table;
}

void Export(history::HistoryStore& store, bool jsonLines, const std::optional<std::string>& keyword,
            const std::optional<std::string>& run, std::ostream& out) {
    std::vector<RunInfo> runs;
    if (run) {
        runs.push_back(NamedRun(store, *run));
        if (keyword && runs.front().keyword != *keyword) {
            runs.clear();
        }
    } else {
        runs = history::ListRuns(store.db(), keyword);
    }
    if (!jsonLines) {
        out << "\"Run\",\"Started\",\"Keyword\",\"Pos\",\"Anchor\",\"URL\",\"Engine Site\"\r\n";
    }
    for (const RunInfo& info : runs) {
        for (const history::RunRow& row : history::RowsOf(store.db(), info.id)) {
            if (jsonLines) {
                out << history::RowLine(info, row);
            } else {
                out << CsvQuoted(info.uid) << ',' << CsvQuoted(info.started) << ','
                    << CsvQuoted(info.keyword) << ',' << CsvQuoted(std::to_string(row.position))
                    << ',' << CsvQuoted(row.anchor) << ',' << CsvQuoted(row.url) << ','
                    << CsvQuoted(row.engineSite) << "\r\n";
            }
        }
    }
}

std::optional<util::UtcSeconds> SinceTime(const std::string& text, util::UtcSeconds now) {
    if (const auto time = util::ParseUtcTime(text)) {
        return time;
    }
    if (const auto day = util::ParseUtcDate(text)) {
        return day;
    }
    if (text.size() < 2) {
        return std::nullopt;
    }
    std::int64_t count = 0;
    const char* end = text.data() + text.size() - 1;
    const auto [stop, error] = std::from_chars(text.data(), end, count);
    if (error != std::errc() || stop != end || count < 0 || count > kLongestSinceDays) {
        return std::nullopt;
    }
    switch (*end) {
        case 'd':
            return now - count * 86400;
        case 'h':
            return now - count * 3600;
        case 'm':
            return now - count * 60;
        default:
            return std::nullopt;
    }
}

}  // namespace historytool

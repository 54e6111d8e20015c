// The rank history's three figures, each beside a peer in the same run:
// storing 1 000 000 rows (10 000 runs of 100) against the sqlite3 shell's
// .import of the same rows as CSV into a plain table; positions of one
// keyword over 365 daily runs of 100 rows against one plain query reading
// the same rows; and the database's bytes per row against the CSV export's.

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bench/support/bench_process.h"
#include "history/history_store.h"
#include "history/positions.h"
#include "history/sqlite_handle.h"
#include "search/csv_export.h"

namespace fs = std::filesystem;

namespace {

constexpr int kKeywords = 100;
constexpr int kRunsPerKeyword = 100;
constexpr int kRowsPerRun = 100;
// A keyword's result lists draw from this many addresses over the days.
constexpr int kAddressesPerKeyword = 130;
constexpr int kRepetitions = 3;
constexpr int kDailyRuns = 365;

std::string Address(int keyword, int n) {
    // One site per address, as result lists are: the positions are per site.
    return "https://www.site" + std::to_string(n) + "-k" + std::to_string(keyword) +
           ".example/page/" + std::to_string(n * 7 % 13) + "/index.html";
}

std::string Anchor(int keyword, int n) {
    return "Result " + std::to_string(n) + " for keyword number " + std::to_string(keyword) +
           " - a title of the usual length";
}

// One run's rows: the keyword's addresses in a day's order.
std::vector<history::StoredRow> RunRows(int keyword, int day) {
    std::vector<int> order(kAddressesPerKeyword);
    for (int i = 0; i < kAddressesPerKeyword; ++i) {
        order[i] = i;
    }
    std::mt19937 random(static_cast<unsigned>(keyword * 1000 + day));
    std::shuffle(order.begin(), order.end(), random);
    std::vector<history::StoredRow> rows(kRowsPerRun);
    for (int i = 0; i < kRowsPerRun; ++i) {
        rows[i] = {.position = i + 1,
                   .anchor = Anchor(keyword, order[i]),
                   .url = Address(keyword, order[i]),
                   .engineSite = "[bing] https://www.bing.com"};
    }
    return rows;
}

std::string Keyword(int keyword) {
    return "keyword " + std::to_string(keyword);
}

std::string CsvField(const std::string& text) {
    std::string field = "\"";
    for (const char c : text) {
        field += c;
        if (c == '"') {
            field += '"';
        }
    }
    return field + "\"";
}

// Every run stored through the history, as a harvest stores it.
double StoreAll(const std::string& path) {
    const double start = bench::Now();
    history::HistoryStore store(path);
    for (int day = 0; day < kRunsPerKeyword; ++day) {
        for (int keyword = 0; keyword < kKeywords; ++keyword) {
            const auto run = store.beginRun({.keyword = Keyword(keyword),
                                             .siteLine = "[bing] https://www.bing.com",
                                             .steps = "bing",
                                             .itemLimit = kRowsPerRun,
                                             .started = 1767225600 + day * 86400,
                                             .version = "bench"});
            const std::vector<history::StoredRow> rows = RunRows(keyword, day);
            store.addPage(*run, rows);
            store.finishRun(*run, history::Outcome::Complete, 1767225600 + day * 86400 + 60);
        }
    }
    return bench::Now() - start;
}

std::uintmax_t FileBytes(const std::string& path) {
    std::error_code error;
    std::uintmax_t bytes = 0;
    for (const char* suffix : {"", "-wal", "-shm"}) {
        const auto size = fs::file_size(path + suffix, error);
        bytes += error ? 0 : size;
    }
    return bytes;
}

void Execute(sqlite3* db, const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        std::fprintf(stderr, "%s: %s\n", sql, message);
        sqlite3_free(message);
        std::exit(1);
    }
}

template <typename F>
double BestSeconds(int repetitions, F&& f) {
    double best = 1e9;
    for (int i = 0; i < repetitions; ++i) {
        const double start = bench::Now();
        f();
        best = std::min(best, bench::Now() - start);
    }
    return best;
}

}  // namespace

int main() {
    const fs::path folder =
        fs::temp_directory_path() / ("zorvane_bench_history_" + std::to_string(getpid()));
    fs::create_directories(folder);
    const std::string csv = (folder / "rows.csv").string();

    // The peer's input, and the CSV export's bytes for the same rows.
    std::uintmax_t exportBytes = 0;
    {
        std::ofstream out(csv, std::ios::binary);
        out << "run,keyword,started,position,anchor,url,engine_site\n";
        for (int day = 0; day < kRunsPerKeyword; ++day) {
            for (int keyword = 0; keyword < kKeywords; ++keyword) {
                const std::string run = std::to_string(day * kKeywords + keyword + 1);
                std::vector<search::ResultRow> shown;
                for (const history::StoredRow& row : RunRows(keyword, day)) {
                    out << run << ',' << CsvField(Keyword(keyword)) << ",2026-01-" << (day % 28 + 1)
                        << "T08:00:00Z," << row.position << ',' << CsvField(row.anchor) << ','
                        << CsvField(row.url) << ',' << CsvField(row.engineSite) << '\n';
                    shown.push_back({.pos = std::to_string(row.position),
                                     .anchor = row.anchor,
                                     .url = row.url,
                                     .engineSite = row.engineSite});
                }
                exportBytes += search::FormatExport(shown).size() -
                               search::FormatExport(std::vector<search::ResultRow>{}).size();
            }
        }
    }

    const long rows = static_cast<long>(kKeywords) * kRunsPerKeyword * kRowsPerRun;
    std::vector<double> ours;
    std::vector<double> peer;
    std::uintmax_t databaseBytes = 0;
    for (int r = 0; r < kRepetitions; ++r) {
        const std::string ourPath = (folder / ("ours" + std::to_string(r) + ".sqlite3")).string();
        const std::string peerPath = (folder / ("peer" + std::to_string(r) + ".sqlite3")).string();
        try {
            ours.push_back(StoreAll(ourPath));
        } catch (const std::exception& e) {
            std::fprintf(stderr, "storing failed: %s\n", e.what());
            return 1;
        }
        databaseBytes = FileBytes(ourPath);
        const bench::ChildRun imported =
            bench::Run({"sqlite3", peerPath, ".import --csv " + csv + " plain"});
        if (imported.status != 0) {
            std::fprintf(stderr, "the sqlite3 shell's import failed (is sqlite3 installed?)\n");
            return 1;
        }
        peer.push_back(imported.wallSeconds);
        fs::remove(ourPath);
        fs::remove(peerPath);
    }
    const double storeRatio = bench::Median(ours) / bench::Median(peer);
    std::printf(
        "storing %ld rows: history %.2f s, sqlite3 .import of the CSV %.2f s: %.2f "
        "(medians of %d)\n",
        rows, bench::Median(ours), bench::Median(peer), storeRatio, kRepetitions);
    const double rowBytes = static_cast<double>(databaseBytes) / static_cast<double>(rows);
    const double csvRowBytes = static_cast<double>(exportBytes) / static_cast<double>(rows);
    std::printf("bytes a row: database %.1f, CSV export %.1f: %.2f\n", rowBytes, csvRowBytes,
                rowBytes / csvRowBytes);

    // A year of daily runs of one keyword, and the same rows in a plain table.
    const std::string yearPath = (folder / "year.sqlite3").string();
    {
        history::HistoryStore store(yearPath);
        Execute(store.db(),
                "CREATE TABLE plain (run INTEGER, keyword TEXT, position INTEGER, url TEXT);"
                "CREATE INDEX plain_by_keyword ON plain (keyword);");
        history::Statement insert(store.db(), "INSERT INTO plain VALUES (?, ?, ?, ?)");
        for (int day = 0; day < kDailyRuns; ++day) {
            const auto run = store.beginRun({.keyword = "used cars",
                                             .siteLine = "[bing] https://www.bing.com",
                                             .steps = "bing",
                                             .started = 1735689600 + day * 86400,
                                             .version = "bench"});
            const std::vector<history::StoredRow> rows = RunRows(7, day);
            store.addPage(*run, rows);
            store.finishRun(*run, history::Outcome::Complete, 1735689600 + day * 86400 + 60);
            Execute(store.db(), "BEGIN");
            for (const history::StoredRow& row : rows) {
                insert.reset();
                insert.bind(1, *run);
                insert.bind(2, std::string_view("used cars"));
                insert.bind(3, row.position);
                insert.bind(4, row.url);
                insert.step();
            }
            Execute(store.db(), "COMMIT");
        }
    }
    sqlite3* db = nullptr;
    sqlite3_open_v2(yearPath.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    std::size_t domains = 0;
    const double positions = BestSeconds(
        20, [&] { domains = history::Positions(db, {.keyword = "used cars"}).domains.size(); });
    std::size_t plainRows = 0;
    const double plain = BestSeconds(20, [&] {
        sqlite3_stmt* query = nullptr;
        sqlite3_prepare_v2(db, "SELECT run, position, url FROM plain WHERE keyword = 'used cars'",
                           -1, &query, nullptr);
        plainRows = 0;
        while (sqlite3_step(query) == SQLITE_ROW) {
            ++plainRows;
        }
        sqlite3_finalize(query);
    });
    sqlite3_close(db);
    std::printf(
        "positions over %d daily runs of %d rows (%zu domains): %.2f ms, one plain query "
        "reading the %zu rows %.2f ms: %.2f\n",
        kDailyRuns, kRowsPerRun, domains, positions * 1000, plainRows, plain * 1000,
        positions / plain);
    std::printf(
        "goals: storing <= 1.5 (%s); positions <= 10 ms (%s); bytes a row <= the CSV's "
        "(%s)\n",
        storeRatio <= 1.5 ? "met" : "missed", positions <= 0.010 ? "met" : "missed",
        rowBytes <= csvRowBytes ? "met" : "missed");
    fs::remove_all(folder);
    return 0;
}

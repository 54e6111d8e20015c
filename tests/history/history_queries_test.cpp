// Positions, diffs and recent changes over three small runs whose answers
// are worked out by hand, and pruning them.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "history/history_store.h"
#include "history/positions.h"
#include "history/prune.h"
#include "history/recent_changes.h"
#include "history/run_diff.h"
#include "tests/support/temp_dir.h"

namespace {

using history::Move;
using std::nullopt;
using Positions = std::vector<std::optional<std::int64_t>>;

constexpr const char* kA1 = "http://a.example/1";
constexpr const char* kB = "http://www.b.example/x";
constexpr const char* kSA = "http://shop.a.example/y";
constexpr const char* kC = "http://c.example/";
constexpr const char* kD = "http://d.example/";

// R1 (Jan 1): A1 B SA C; R2 (Jan 2): B C A1; R3 (Jan 3): C SA D, C found
// by bing, the rest by google; and a run of another keyword on Jan 2.
class HistoryQueries : public ::testing::Test {
protected:
    void SetUp() override {
        r1_ = addRun("shoes", "2026-01-01T08:00:00Z", {kA1, kB, kSA, kC});
        r2_ = addRun("shoes", "2026-01-02T08:00:00Z", {kB, kC, kA1});
        addRun("boots", "2026-01-02T09:00:00Z", {kD, kA1});
        r3_ = addRun("shoes", "2026-01-03T08:00:00Z", {kC, kSA, kD}, "www.bing.com");
    }

    std::int64_t addRun(const std::string& keyword, const char* started,
                        const std::vector<std::string>& urls, const char* firstSite = nullptr) {
        const auto run = store_.beginRun(
            {.keyword = keyword, .started = *util::ParseUtcTime(started), .version = "2.0"});
        std::vector<history::StoredRow> rows;
        for (std::size_t i = 0; i < urls.size(); ++i) {
            rows.push_back({.position = static_cast<std::int64_t>(i + 1),
                            .anchor = "hit",
                            .url = urls[i],
                            .engineSite = i == 0 && firstSite ? firstSite : "www.google.com"});
        }
        store_.addPage(*run, rows);
        store_.finishRun(*run, history::Outcome::Complete, 0);
        return *run;
    }

    testsupport::TempDir dir_{"history"};
    history::HistoryStore store_{(dir_ / "history.sqlite3").string()};
    std::int64_t r1_ = 0;
    std::int64_t r2_ = 0;
    std::int64_t r3_ = 0;
};

TEST_F(HistoryQueries, PositionsFollowEachDomainWithItsSubdomains) {
    const struct Line {
        const char* domain;
        Positions perRun;
        std::optional<std::int64_t> best, last, change;
    } expected[] = {
        {.domain = "a.example", .perRun = {1, 3, 2}, .best = 1, .last = 2, .change = 1},
        {.domain = "b.example",
         .perRun = {2, 1, nullopt},
         .best = 1,
         .last = nullopt,
         .change = nullopt},
        {.domain = "d.example",
         .perRun = {nullopt, nullopt, 3},
         .best = 3,
         .last = 3,
         .change = nullopt},
        {.domain = "e.example",
         .perRun = {nullopt, nullopt, nullopt},
         .best = nullopt,
         .last = nullopt,
         .change = nullopt},
    };
    const history::PositionTable table = history::Positions(
        store_.db(),
        {.keyword = "shoes", .domains = {"a.example", "B.example", "d.example", "e.example"}});
    ASSERT_EQ(table.runs.size(), 3u);
    EXPECT_EQ(table.runs[2].id, r3_);
    ASSERT_EQ(table.domains.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(expected[i].domain);
        const history::DomainPositions& line = table.domains[i];
        EXPECT_EQ(line.domain, expected[i].domain);
        EXPECT_EQ(line.perRun, expected[i].perRun);
        EXPECT_EQ(line.best, expected[i].best);
        EXPECT_EQ(line.last, expected[i].last);
        EXPECT_EQ(line.change, expected[i].change);
    }
}

TEST_F(HistoryQueries, PositionsWithoutDomainsListEverySiteAndFilterByEngine) {
    const history::PositionTable all = history::Positions(store_.db(), {.keyword = "shoes"});
    std::vector<std::string> domains;
    for (const auto& line : all.domains) {
        domains.push_back(line.domain);
    }
    // Best first: a, b and c reached 1; d only 3.
    EXPECT_EQ(domains,
              (std::vector<std::string>{"a.example", "b.example", "c.example", "d.example"}));
    EXPECT_EQ(all.domains[2].perRun, (Positions{4, 2, 1}));
    EXPECT_EQ(all.domains[2].change, 1);

    const history::PositionTable bing = history::Positions(
        store_.db(), {.keyword = "shoes", .domains = {"c.example"}, .engine = "BING"});
    ASSERT_EQ(bing.domains.size(), 1u);
    EXPECT_EQ(bing.domains[0].perRun, (Positions{nullopt, nullopt, 1}));
}

TEST_F(HistoryQueries, DiffListsNewLostAndMovedWithTheDistance) {
    std::vector<history::RunRow> twice = history::RowsOf(store_.db(), r2_);
    // An address twice in a list counts at its best position.
    twice.push_back({.position = 4, .url = kB});
    const auto entries = history::DiffRuns(history::RowsOf(store_.db(), r1_), twice);
    const struct {
        Move move;
        const char* url;
        std::optional<std::int64_t> before, after;
        std::int64_t distance;
    } expected[] = {
        {.move = Move::Up, .url = kB, .before = 2, .after = 1, .distance = 1},
        {.move = Move::Up, .url = kC, .before = 4, .after = 2, .distance = 2},
        {.move = Move::Down, .url = kA1, .before = 1, .after = 3, .distance = 2},
        {.move = Move::Lost, .url = kSA, .before = 3, .after = nullopt, .distance = 0},
    };
    ASSERT_EQ(entries.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(expected[i].url);
        EXPECT_EQ(entries[i].move, expected[i].move);
        EXPECT_EQ(entries[i].url, expected[i].url);
        EXPECT_EQ(entries[i].before, expected[i].before);
        EXPECT_EQ(entries[i].after, expected[i].after);
        EXPECT_EQ(entries[i].distance, expected[i].distance);
    }
    const auto forward =
        history::DiffRuns(history::RowsOf(store_.db(), r2_), history::RowsOf(store_.db(), r3_));
    std::string moves;
    for (const auto& entry : forward) {
        moves += history::MoveName(entry.move) + " " + entry.url + "\n";
    }
    EXPECT_EQ(moves, std::string("up ") + kC + "\nnew " + kSA + "\nnew " + kD + "\nlost " + kB +
                         "\nlost " + kA1 + "\n");
}

TEST_F(HistoryQueries, ChangesAreTheBigMovesSinceTheRunBefore) {
    const struct {
        const char* since;
        std::int64_t minMove;
        const char* moves;
    } cases[] = {
        {.since = "2026-01-02T00:00:00Z",
         .minMove = 2,
         .moves = "2 up 2 http://c.example/\n2 down 2 http://a.example/1\n"},
        {.since = "2026-01-02T00:00:00Z",
         .minMove = 1,
         .moves = "2 up 1 http://www.b.example/x\n2 up 2 http://c.example/\n"
                  "2 down 2 http://a.example/1\n4 up 1 http://c.example/\n"},
        {.since = "2026-01-03T00:00:00Z", .minMove = 2, .moves = ""},
        // The first run of a keyword has nothing to move from.
        {.since = "2026-01-01T00:00:00Z", .minMove = 3, .moves = ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.since) + " " + std::to_string(c.minMove));
        std::string moves;
        for (const auto& change :
             history::RecentChanges(store_.db(), *util::ParseUtcTime(c.since), c.minMove)) {
            EXPECT_EQ(change.keyword, "shoes");
            moves += std::to_string(change.after.id) + " " + history::MoveName(change.entry.move) +
                     " " + std::to_string(change.entry.distance) + " " + change.entry.url + "\n";
        }
        EXPECT_EQ(moves, c.moves);
    }
}

TEST_F(HistoryQueries, PruneRemovesOldRunsAndTheTextsOnlyTheyUsed) {
    EXPECT_EQ(history::PruneRuns(store_.db(), *util::ParseUtcTime("2026-01-02T08:30:00Z")), 2);
    const auto runs = history::ListRuns(store_.db());
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].keyword, "boots");
    EXPECT_EQ(runs[1].id, r3_);
    history::Statement urls(
        store_.db(), "SELECT group_concat(text, ' ') FROM (SELECT text FROM url ORDER BY text)");
    ASSERT_TRUE(urls.step());
    EXPECT_EQ(urls.text(0), std::string(kA1) + " " + kC + " " + kD + " " + kSA);
    history::Statement rows(store_.db(), "SELECT count(*) FROM row");
    ASSERT_TRUE(rows.step());
    EXPECT_EQ(rows.integer(0), 5);
}

}  // namespace

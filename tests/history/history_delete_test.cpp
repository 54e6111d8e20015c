// Deleting runs, the window's keyword overview and its move marks, and a
// damaged file moved aside.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "history/damaged_file.h"
#include "history/history_delete.h"
#include "history/history_store.h"
#include "history/keyword_overview.h"
#include "history/sqlite_handle.h"
#include "tests/support/temp_dir.h"

namespace {

using std::nullopt;

// shoes: Jan 1 (a, b, c), Jan 2 (b, a, d); boots: Jan 2 (d, a).
class HistoryEdits : public ::testing::Test {
protected:
    void SetUp() override {
        shoes1_ = addRun("shoes", "2026-01-01T08:00:00Z", {"a", "b", "c"});
        shoes2_ = addRun("shoes", "2026-01-02T08:00:00Z", {"b", "www.a", "d"});
        boots_ = addRun("boots", "2026-01-02T09:00:00Z", {"d", "a"});
    }

    std::int64_t addRun(const std::string& keyword, const char* started,
                        const std::vector<std::string>& hosts) {
        const auto run = store_.beginRun(
            {.keyword = keyword, .started = *util::ParseUtcTime(started), .version = "2.0"});
        std::vector<history::StoredRow> rows;
        for (std::size_t i = 0; i < hosts.size(); ++i) {
            rows.push_back({.position = static_cast<std::int64_t>(i + 1),
                            .anchor = "hit " + hosts[i],
                            .url = "http://" + hosts[i] + ".example/",
                            .engineSite = "www.google.com"});
        }
        store_.addPage(*run, rows);
        store_.finishRun(*run, history::Outcome::Complete, 0);
        return *run;
    }

    std::int64_t count(const char* table) {
        history::Statement query(store_.db(), std::string("SELECT count(*) FROM ") + table);
        query.step();
        return query.integer(0);
    }

    std::vector<std::string> keywords() {
        std::vector<std::string> names;
        for (const history::KeywordOverview& overview :
             history::KeywordOverviews(store_.db(), {})) {
            names.push_back(overview.keyword);
        }
        return names;
    }

    testsupport::TempDir dir_{"history_edits"};
    history::HistoryStore store_{(dir_ / "history.sqlite3").string()};
    std::int64_t shoes1_ = 0;
    std::int64_t shoes2_ = 0;
    std::int64_t boots_ = 0;
};

TEST_F(HistoryEdits, DeletingARunTakesItsRowsAndTheTextsOnlyItUsed) {
    EXPECT_EQ(history::DeleteRun(store_.db(), shoes1_), 1);
    EXPECT_TRUE(history::RowsOf(store_.db(), shoes1_).empty());
    EXPECT_EQ(history::RowsOf(store_.db(), shoes2_).size(), 3u);
    // c was in the deleted run alone.
    EXPECT_EQ(count("url"), 4);
    EXPECT_EQ(count("anchor"), 4);
    EXPECT_EQ(keywords(), (std::vector<std::string>{"boots", "shoes"}));
    EXPECT_EQ(history::DeleteRun(store_.db(), shoes1_), 0);
}

TEST_F(HistoryEdits, DeletingAKeywordTakesEveryRunOfItAndTheKeyword) {
    EXPECT_EQ(history::DeleteKeyword(store_.db(), "shoes"), 2);
    EXPECT_EQ(keywords(), (std::vector<std::string>{"boots"}));
    EXPECT_EQ(count("keyword"), 1);
    EXPECT_EQ(count("url"), 2);
    EXPECT_EQ(count("row"), 2);
    EXPECT_EQ(history::DeleteKeyword(store_.db(), "no such keyword"), 0);
}

TEST_F(HistoryEdits, DeletingAllLeavesEmptyTables) {
    EXPECT_EQ(history::DeleteAllRuns(store_.db()), 3);
    for (const char* table : {"run", "row", "keyword", "url", "anchor", "site"}) {
        EXPECT_EQ(count(table), 0) << table;
    }
}

TEST_F(HistoryEdits, TheOverviewGivesEachKeywordsLastTwoStandings) {
    const auto overviews = history::KeywordOverviews(store_.db(), {"a.example", "d.example"});
    ASSERT_EQ(overviews.size(), 2u);
    EXPECT_EQ(overviews[0].keyword, "boots");
    EXPECT_FALSE(overviews[0].hasRunBefore);
    EXPECT_EQ(overviews[0].runCount, 1);
    EXPECT_EQ(overviews[0].domains[0].last, 2);
    EXPECT_EQ(overviews[0].domains[0].before, nullopt);
    const history::KeywordOverview& shoes = overviews[1];
    EXPECT_EQ(shoes.lastRun.id, shoes2_);
    EXPECT_EQ(shoes.lastRun.started, "2026-01-02T08:00:00Z");
    EXPECT_TRUE(shoes.hasRunBefore);
    ASSERT_EQ(shoes.domains.size(), 2u);
    // www.a.example counts for a.example.
    EXPECT_EQ(shoes.domains[0].domain, "a.example");
    EXPECT_EQ(shoes.domains[0].before, 1);
    EXPECT_EQ(shoes.domains[0].last, 2);
    EXPECT_EQ(shoes.domains[1].before, nullopt);
    EXPECT_EQ(shoes.domains[1].last, 3);
}

TEST(HistoryMoves, EachStandingPairHasItsMark) {
    const struct Case {
        std::optional<std::int64_t> before, after;
        std::optional<std::string> mark;
    } cases[] = {
        {.before = 5, .after = 2, .mark = "up 3"},
        {.before = 2, .after = 9, .mark = "down 7"},
        {.before = nullopt, .after = 4, .mark = "new"},
        {.before = 4, .after = nullopt, .mark = "lost"},
        {.before = 4, .after = 4, .mark = nullopt},
        {.before = nullopt, .after = nullopt, .mark = nullopt},
    };
    for (const Case& c : cases) {
        const auto move = history::MoveOf(c.before, c.after);
        EXPECT_EQ(move ? std::optional(history::MoveMark(*move)) : nullopt, c.mark)
            << c.before.value_or(0) << " -> " << c.after.value_or(0);
    }
}

TEST(HistoryDamagedFile, IsMovedAsideWithItsJournalsAndANewOneStarts) {
    const testsupport::TempDir dir("history_damaged");
    const std::string path = (dir / "history.sqlite3").string();
    std::ofstream(path) << std::string(4096, 'x');
    std::ofstream(path + ".damaged") << "moved aside before";
    try {
        history::HistoryStore store(path);
        FAIL() << "a file of text opened as a history";
    } catch (const history::HistoryError& e) {
        EXPECT_TRUE(history::IsDamagedFile(e)) << e.what();
    }
    // As a program that died while writing leaves it.
    std::ofstream(path + "-wal") << "old log";
    EXPECT_EQ(history::MoveAside(path), path + ".damaged-2");
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(std::filesystem::exists(path + "-wal"));
    EXPECT_TRUE(std::filesystem::exists(path + ".damaged-2-wal"));
    EXPECT_EQ(std::filesystem::file_size(path + ".damaged"), 18u);
    history::HistoryStore fresh(path);
    EXPECT_TRUE(history::ListRuns(fresh.db()).empty());
}

TEST(HistoryDamagedFile, AFolderInThePlaceIsNoDamagedFile) {
    const testsupport::TempDir dir("history_folder");
    std::filesystem::create_directory(dir / "history.sqlite3");
    try {
        history::HistoryStore store((dir / "history.sqlite3").string());
        FAIL() << "a folder opened as a history";
    } catch (const history::HistoryError& e) {
        EXPECT_FALSE(history::IsDamagedFile(e)) << e.what();
    }
}

}  // namespace

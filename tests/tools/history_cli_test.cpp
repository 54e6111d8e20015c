// zorvane-history on a small history made through the store: its answers as
// a table, CSV and JSON, and the files and names it refuses.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "history/history_store.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace {

using testsupport::ChildProcess;

constexpr int kDeadlineMillis = 20000;

// Two runs of "shoes" a day apart and one of "boots".
class HistoryCli : public ::testing::Test {
protected:
    void SetUp() override {
        history::HistoryStore store(db_);
        addRun(store, "shoes", "2026-01-01T08:00:00Z",
               {"http://a.example/", "http://www.b.example/"});
        addRun(store, "shoes", "2026-01-02T08:00:00Z",
               {"http://www.b.example/", "http://c.example/", "http://shop.a.example/"});
        addRun(store, "boots", "2026-01-02T09:00:00Z", {"http://a.example/"});
    }

    static void addRun(history::HistoryStore& store, const std::string& keyword,
                       const char* started, const std::vector<std::string>& urls) {
        const auto run = store.beginRun(
            {.keyword = keyword, .started = *util::ParseUtcTime(started), .version = "2.0"});
        std::vector<history::StoredRow> rows;
        for (std::size_t i = 0; i < urls.size(); ++i) {
            rows.push_back({.position = static_cast<std::int64_t>(i + 1),
                            .anchor = "Hit \"" + std::to_string(i + 1) + "\"",
                            .url = urls[i],
                            .engineSite = "www.google.com"});
        }
        store.addPage(*run, rows);
        store.finishRun(*run, history::Outcome::Complete, *util::ParseUtcTime(started));
    }

    ChildProcess& history(std::vector<std::string> args) {
        args.insert(args.begin(), ZORVANE_HISTORY_PATH);
        child_ = std::make_unique<ChildProcess>(
            args, std::vector<std::string>{"ZORVANE_NOW=2026-01-02T12:00:00Z"});
        code_ = child_->Wait(kDeadlineMillis);
        return *child_;
    }

    testsupport::TempDir dir_{"zorvane_history"};
    const std::string db_ = (dir_ / "history.sqlite3").string();
    std::unique_ptr<ChildProcess> child_;
    int code_ = -1;
};

TEST_F(HistoryCli, AnswersAsAnAlignedTableCsvOrJsonWithOptionsOnEitherSide) {
    EXPECT_EQ(history({"--history", db_, "runs"}).out(),
              "run  started               keyword  rows  outcome\n"
              "  1  2026-01-01T08:00:00Z  shoes       2  complete\n"
              "  2  2026-01-02T08:00:00Z  shoes       3  complete\n"
              "  3  2026-01-02T09:00:00Z  boots       1  complete\n");
    EXPECT_EQ(code_, 0) << child_->err();
    EXPECT_EQ(history({"runs", "--since", "2026-01-02", "--format", "csv", "--history", db_}).out(),
              "\"run\",\"started\",\"keyword\",\"rows\",\"outcome\"\r\n"
              "\"2\",\"2026-01-02T08:00:00Z\",\"shoes\",\"3\",\"complete\"\r\n"
              "\"3\",\"2026-01-02T09:00:00Z\",\"boots\",\"1\",\"complete\"\r\n");
    const auto json =
        nlohmann::json::parse(history({"--format", "json", "show", "2", "--history", db_}).out());
    ASSERT_EQ(json.size(), 3u);
    EXPECT_EQ(json[2]["position"], 3);
    EXPECT_EQ(json[2]["anchor"], "Hit \"3\"");
    EXPECT_TRUE(json[2]["snippet"].is_string());
}

TEST_F(HistoryCli, PositionsDiffAndChangesOfTheTwoRuns) {
    EXPECT_EQ(history({"positions", "--keyword", "shoes", "--domain", "a.example", "--domain",
                       "b.example", "--history", db_})
                  .out(),
              "domain     2026-01-01T08:00:00Z  2026-01-02T08:00:00Z  best  last  change\n"
              "a.example                     1                     3     1     3      -2\n"
              "b.example                     2                     1     1     1       1\n");
    EXPECT_EQ(history({"diff", "1", "2", "--history", db_}).out(),
              "move  distance  before  after  url\n"
              "up           1       2      1  http://www.b.example/\n"
              "new                         2  http://c.example/\n"
              "new                         3  http://shop.a.example/\n"
              "lost                 1         http://a.example/\n");
    // ZORVANE_NOW is noon on Jan 2: one day back reaches run 2.
    EXPECT_EQ(
        history({"changes", "--since", "1d", "--format", "csv", "--history", db_}).out(),
        "\"keyword\",\"run\",\"started\",\"move\",\"distance\",\"before\",\"after\",\"url\"\r\n"
        "\"shoes\",\"2\",\"2026-01-02T08:00:00Z\",\"up\",\"1\",\"2\",\"1\","
        "\"http://www.b.example/\"\r\n");
    history({"positions", "--keyword", "shoes", "--domain", "co.uk", "--history", db_});
    EXPECT_EQ(code_, 2);
    EXPECT_NE(child_->err().find("public suffix"), std::string::npos) << child_->err();
}

TEST_F(HistoryCli, ExportImportsIntoAnotherHistoryOnceAndBadFilesAreNamed) {
    const std::string lines =
        history({"export", "--format", "jsonl", "--keyword", "shoes", "--history", db_}).out();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 5);
    const std::string file = (dir_ / "rows.jsonl").string();
    std::ofstream(file) << lines;
    const std::string other = (dir_ / "other.sqlite3").string();
    EXPECT_EQ(history({"import", file, "--history", other}).err(),
              "zorvane-history: 2 runs with 5 rows added, 0 runs stored already\n");
    EXPECT_EQ(history({"import", file, "--history", other}).err(),
              "zorvane-history: 0 runs with 0 rows added, 2 runs stored already\n");
    // Each call replaces the last child: the first text is kept before the second runs.
    const std::string imported = history({"export", "--run", "1", "--history", other}).out();
    EXPECT_EQ(imported, history({"export", "--run", "1", "--history", db_}).out());

    history({"show", "9", "--history", db_});
    EXPECT_EQ(code_, 2);
    EXPECT_NE(child_->err().find("no run 9"), std::string::npos) << child_->err();
    std::ofstream(file, std::ios::binary) << std::string(8192, 'x');
    history({"runs", "--history", file});
    EXPECT_EQ(code_, 1);
    EXPECT_NE(child_->err().find("move it aside"), std::string::npos) << child_->err();
    history({"prune", "--older-than", "0", "--history", db_});
    EXPECT_EQ(child_->err(), "zorvane-history: 3 runs removed\n");
}

}  // namespace

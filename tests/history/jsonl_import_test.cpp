// JSON Lines into the history: harvester output and the history's own
// export, imported twice, and lines that are no rows.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>

#include "history/jsonl_rows.h"
#include "history/run_queries.h"
#include "tests/support/temp_dir.h"

namespace {

using history::HistoryError;
using history::ImportJsonLines;

std::string Row(int position, const std::string& url, const std::string& more = "") {
    return "{\"position\":" + std::to_string(position) + ",\"anchor\":\"hit\",\"url\":\"" + url +
           "\",\"engine_site\":\"www.google.com\"" + more + "}\n";
}

class JsonlImport : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("ZORVANE_NOW", "2026-01-05T10:00:00Z", 1); }
    void TearDown() override { ::unsetenv("ZORVANE_NOW"); }

    history::ImportCount import(const std::string& text, const std::string& keyword = {}) {
        std::istringstream in(text);
        return ImportJsonLines(store_, in, keyword);
    }

    testsupport::TempDir dir_{"history"};
    history::HistoryStore store_{(dir_ / "history.sqlite3").string()};
};

TEST_F(JsonlImport, TheSameRunsImportedTwiceAreStoredOnce) {
    // A keyword list's output, two harvests of one keyword appended to one
    // file (the positions start over), and blank lines.
    const std::string list = Row(1, "http://a.example/", ",\"keyword\":\"shoes\"") +
                             Row(2, "http://b.example/", ",\"keyword\":\"shoes\"") + "\n" +
                             Row(1, "http://c.example/", ",\"keyword\":\"boots\"") +
                             Row(1, "http://b.example/", ",\"keyword\":\"boots\"");
    const auto first = import(list);
    EXPECT_EQ(first.runsAdded, 3);
    EXPECT_EQ(first.rows, 4);
    const auto second = import(list);
    EXPECT_EQ(second.runsAdded, 0);
    EXPECT_EQ(second.runsKnown, 3);
    // A one-keyword harvest names no keyword; the caller gives it.
    EXPECT_EQ(import(Row(1, "http://d.example/"), "hats").runsAdded, 1);
    EXPECT_THROW(import(Row(1, "http://d.example/")), HistoryError);

    const auto runs = history::ListRuns(store_.db());
    ASSERT_EQ(runs.size(), 4u);
    EXPECT_EQ(runs[0].started, "2026-01-05T10:00:00Z");
    EXPECT_EQ(runs[3].keyword, "hats");
    EXPECT_EQ(runs[1].outcome, "complete");
}

TEST_F(JsonlImport, AnExportedRunKeepsItsIdAndDateInAnotherHistory) {
    import(Row(1, "http://a.example/", ",\"keyword\":\"shoes\",\"snippet\":\"s\"") +
           Row(2, "http://b.example/", ",\"keyword\":\"shoes\",\"display_url\":\"b.example\""));
    const history::RunInfo run = history::ListRuns(store_.db()).at(0);
    std::string lines;
    for (const auto& row : history::RowsOf(store_.db(), run.id)) {
        lines += history::RowLine(run, row);
    }
    EXPECT_EQ(lines.substr(0, lines.find('\n')),
              "{\"position\":1,\"anchor\":\"hit\",\"url\":\"http://a.example/\","
              "\"engine_site\":\"www.google.com\",\"snippet\":\"s\",\"keyword\":\"shoes\","
              "\"run\":\"" +
                  run.uid + "\",\"started\":\"2026-01-05T10:00:00Z\"}");

    ::setenv("ZORVANE_NOW", "2026-02-01T00:00:00Z", 1);
    history::HistoryStore other((dir_ / "other.sqlite3").string());
    std::istringstream in(lines + lines);
    const auto count = ImportJsonLines(other, in);
    EXPECT_EQ(count.runsAdded, 1);
    EXPECT_EQ(count.runsKnown, 1);
    const history::RunInfo copy = history::ListRuns(other.db()).at(0);
    EXPECT_EQ(copy.uid, run.uid);
    EXPECT_EQ(copy.started, "2026-01-05T10:00:00Z");
    const auto rows = history::RowsOf(other.db(), copy.id);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].displayUrl, "b.example");
}

TEST_F(JsonlImport, ALineThatIsNoRowIsNamedAndTheRunsBeforeItStay) {
    const struct {
        const char* name;
        std::string line;
        const char* says;
    } cases[] = {
        {.name = "not json", .line = "position 1\n", .says = "line 3: not a JSON object"},
        {.name = "array", .line = "[1]\n", .says = "line 3: not a JSON object"},
        {.name = "no position",
         .line = "{\"url\":\"http://x/\"}\n",
         .says = "line 3: no \"position\""},
        {.name = "position 0", .line = Row(0, "http://x/"), .says = "line 3: no \"position\""},
        {.name = "no url", .line = "{\"position\":1}\n", .says = "line 3: no \"url\""},
        {.name = "url a number",
         .line = "{\"position\":1,\"url\":5}\n",
         .says = "\"url\" is not a text"},
        {.name = "bad date",
         .line = Row(1, "http://x/", ",\"keyword\":\"j\",\"started\":\"yesterday\""),
         .says = "\"started\""},
        {.name = "deep",
         .line =
             "{\"position\":1,\"a\":" + std::string(100000, '[') + std::string(100000, ']') + "}\n",
         .says = "line 3: no \"url\""},
        {.name = "too long",
         .line = std::string(history::kMaxImportLineBytes + 1, ' ') + "\n",
         .says = "line 3 is longer than"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const testsupport::TempDir dir("history");
        history::HistoryStore store((dir / "history.sqlite3").string());
        // The run of line 1 is complete when line 2 starts another; that
        // one is cut by the bad line and not stored in part.
        std::istringstream in(Row(1, "http://a.example/", ",\"keyword\":\"k\"") +
                              Row(1, "http://b.example/", ",\"keyword\":\"j\"") + c.line +
                              Row(2, "http://c.example/", ",\"keyword\":\"j\""));
        try {
            ImportJsonLines(store, in);
            ADD_FAILURE() << "no error";
        } catch (const HistoryError& e) {
            EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
        }
        EXPECT_EQ(history::ListRuns(store.db()).size(), 1u);
    }
}

}  // namespace

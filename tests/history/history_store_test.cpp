// The history database: its tables and their version, runs and their
// pages, and files the store must refuse.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "history/history_store.h"
#include "history/prune.h"
#include "history/schema.h"
#include "tests/support/temp_dir.h"

namespace {

using history::HistoryError;
using history::HistoryStore;
using history::Outcome;
using history::StoredRow;

std::int64_t CountOf(const HistoryStore& store, const std::string& sql) {
    history::Statement query(store.db(), sql);
    return query.step() ? query.integer(0) : -1;
}

std::string TextOf(const HistoryStore& store, const std::string& sql) {
    history::Statement query(store.db(), sql);
    return query.step() ? query.text(0) : "";
}

history::RunStart Start(std::string keyword, std::string uid = {}) {
    return {.uid = std::move(uid),
            .keyword = std::move(keyword),
            .siteLine = "www.google.com",
            .steps = "google",
            .itemLimit = 20,
            .started = *util::ParseUtcTime("2026-01-02T08:00:00Z"),
            .version = "2.0"};
}

std::vector<StoredRow> Page(std::int64_t first, std::int64_t count, const std::string& host) {
    std::vector<StoredRow> rows;
    for (std::int64_t i = 0; i < count; ++i) {
        rows.push_back({.position = first + i,
                        .anchor = "Anchor " + std::to_string(first + i),
                        .url = "http://" + host + "/" + std::to_string(first + i),
                        .engineSite = "www.google.com"});
    }
    return rows;
}

TEST(HistoryStore, MakesVersionedTablesInWalModeAndKeepsThemOnReopening) {
    const testsupport::TempDir dir("history");
    const std::string path = (dir / "sub" / "history.sqlite3").string();
    {
        HistoryStore store(path);
        EXPECT_EQ(history::SchemaVersion(store.db()), history::kSchemaVersion);
        EXPECT_EQ(TextOf(store, "PRAGMA journal_mode"), "wal");
        const auto run = store.beginRun(Start("shoes"));
        ASSERT_TRUE(run);
        store.addPage(*run, Page(1, 3, "a.example"));
        store.finishRun(*run, Outcome::Complete, *util::ParseUtcTime("2026-01-02T08:01:00Z"));
    }
    HistoryStore again(path);
    EXPECT_EQ(CountOf(again, "SELECT count(*) FROM row"), 3);
    EXPECT_EQ(TextOf(again, "SELECT started || ' ' || ended || ' ' || outcome FROM run"),
              "2026-01-02T08:00:00Z 2026-01-02T08:01:00Z complete");
}

TEST(HistoryStore, RefusesAFileOfANewerVersionWithoutTouchingIt) {
    const testsupport::TempDir dir("history");
    const std::string path = (dir / "history.sqlite3").string();
    {
        HistoryStore store(path);
        history::Execute(store.db(), "PRAGMA user_version = 7; CREATE TABLE later (x);");
    }
    try {
        HistoryStore store(path);
        FAIL() << "a newer file was opened";
    } catch (const HistoryError& e) {
        EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("newer"), std::string::npos) << e.what();
    }
}

TEST(HistoryStore, MigratesAnEmptyFileAndRefusesOneWithForeignTables) {
    const testsupport::TempDir dir("history");
    const std::string path = (dir / "history.sqlite3").string();
    {
        // Another program's database at version 0: migration must fail as a
        // whole, leaving neither our tables nor a version behind.
        HistoryStore probe((dir / "probe.sqlite3").string());
        history::Execute(
            probe.db(),
            ("ATTACH '" + path + "' AS other; CREATE TABLE other.url (x); DETACH other;").c_str());
    }
    EXPECT_THROW(HistoryStore store(path), HistoryError);
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &raw), SQLITE_OK);
    const history::DatabaseHandle db(raw);
    EXPECT_EQ(history::SchemaVersion(db.get()), 0);
    history::Statement tables(db.get(), "SELECT count(*) FROM sqlite_schema");
    ASSERT_TRUE(tables.step());
    EXPECT_EQ(tables.integer(0), 1);
}

TEST(HistoryStore, NamesADamagedFileAndSaysToMoveItAside) {
    const testsupport::TempDir dir("history");
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {.name = "text", .bytes = std::string(8192, 'x')},
        // A real header whose pages are garbage.
        {.name = "header",
         .bytes = std::string("SQLite format 3\0", 16) + std::string(8176, '\xff')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = (dir / c.name).string();
        std::ofstream(path, std::ios::binary) << c.bytes;
        try {
            HistoryStore store(path);
            store.beginRun(Start("shoes"));
            FAIL() << "a damaged file was used";
        } catch (const HistoryError& e) {
            EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find("move it aside"), std::string::npos) << e.what();
        }
    }
}

TEST(HistoryStore, StoresEachTextOnceAndARunIdOnce) {
    const testsupport::TempDir dir("history");
    HistoryStore store((dir / "history.sqlite3").string());
    for (const char* uid : {"run-a", "run-b"}) {
        const auto run = store.beginRun(Start("shoes", uid));
        ASSERT_TRUE(run);
        store.addPage(*run, Page(1, 4, "a.example"));
    }
    EXPECT_FALSE(store.beginRun(Start("shoes", "run-a")));
    EXPECT_EQ(CountOf(store, "SELECT count(*) FROM run"), 2);
    EXPECT_EQ(CountOf(store, "SELECT count(*) FROM row"), 8);
    EXPECT_EQ(CountOf(store, "SELECT count(*) FROM url"), 4);
    EXPECT_EQ(CountOf(store, "SELECT count(*) FROM anchor"), 4);
    EXPECT_EQ(CountOf(store, "SELECT count(*) FROM keyword"), 1);
    EXPECT_EQ(CountOf(store, "SELECT count(*) FROM site"), 1);
}

TEST(HistoryStore, APageIsStoredWholeOrNotAtAll) {
    const testsupport::TempDir dir("history");
    HistoryStore store((dir / "history.sqlite3").string());
    const auto run = store.beginRun(Start("shoes"));
    ASSERT_TRUE(run);
    store.addPage(*run, Page(1, 2, "a.example"));
    // Position 2 again: the page's first row must not stay without it.
    std::vector<StoredRow> bad = Page(3, 1, "b.example");
    bad.push_back(Page(2, 1, "b.example")[0]);
    EXPECT_THROW(store.addPage(*run, bad), HistoryError);
    EXPECT_EQ(CountOf(store, "SELECT count(*) FROM row"), 2);
    EXPECT_EQ(TextOf(store, "SELECT outcome FROM run"), "incomplete");
    EXPECT_EQ(CountOf(store, "SELECT ended IS NULL FROM run"), 1);
    // The address the failed page brought went with it, and comes again.
    store.addPage(*run, Page(3, 1, "b.example"));
    EXPECT_EQ(TextOf(store,
                     "SELECT url.text FROM row JOIN url ON url.id = url_id"
                     " WHERE position = 3"),
              "http://b.example/3");
}

// The store keeps the ids of texts it met; a prune that removes them, through
// the store's own connection or another program's, must not leave rows
// pointing at texts that are gone.
TEST(HistoryStore, TextsAPruneRemovedAreStoredAgain) {
    for (const bool sameConnection : {true, false}) {
        SCOPED_TRACE(sameConnection ? "same connection" : "another program");
        const testsupport::TempDir dir("history");
        const std::string path = (dir / "history.sqlite3").string();
        HistoryStore store(path);
        const auto old = store.beginRun(Start("shoes"));
        ASSERT_TRUE(old);
        store.addPage(*old, Page(1, 2, "a.example"));
        store.finishRun(*old, Outcome::Complete, *util::ParseUtcTime("2026-01-02T08:01:00Z"));
        const auto later = *util::ParseUtcTime("2026-02-01T00:00:00Z");
        if (sameConnection) {
            EXPECT_EQ(history::PruneRuns(store.db(), later), 1);
        } else {
            HistoryStore other(path);
            EXPECT_EQ(history::PruneRuns(other.db(), later), 1);
        }
        ASSERT_EQ(CountOf(store, "SELECT count(*) FROM url"), 0);

        history::RunStart next = Start("shoes");
        next.started = later;
        const auto run = store.beginRun(next);
        ASSERT_TRUE(run);
        store.addPage(*run, Page(1, 2, "a.example"));
        EXPECT_EQ(CountOf(store,
                          "SELECT count(*) FROM row JOIN url ON url.id = url_id"
                          " JOIN anchor ON anchor.id = anchor_id"
                          " JOIN site ON site.id = site_id"),
                  2);
        EXPECT_EQ(TextOf(store, "SELECT text FROM keyword"), "shoes");
    }
}

TEST(HistoryStore, TwoWritersAtOnceBothStoreTheirRuns) {
    const testsupport::TempDir dir("history");
    const std::string path = (dir / "history.sqlite3").string();
    constexpr int kPages = 40;
    // Each writer's failure, if any; a throw would end the test program.
    std::string failures[2];
    const auto writer = [&path, &failures](int index, const std::string& host) {
        try {
            HistoryStore store(path);
            const auto run = store.beginRun(Start(host));
            for (int page = 0; page < kPages; ++page) {
                store.addPage(*run, Page(page * 10 + 1, 10, host));
            }
            store.finishRun(*run, Outcome::Complete, 0);
        } catch (const HistoryError& e) {
            failures[index] = e.what();
        }
    };
    std::thread first(writer, 0, "a.example");
    std::thread second(writer, 1, "b.example");
    first.join();
    second.join();
    EXPECT_EQ(failures[0], "");
    EXPECT_EQ(failures[1], "");
    HistoryStore store(path);
    EXPECT_EQ(CountOf(store, "SELECT count(*) FROM run WHERE outcome = 'complete'"), 2);
    EXPECT_EQ(CountOf(store, "SELECT count(*) FROM row"), 2 * kPages * 10);
}

}  // namespace

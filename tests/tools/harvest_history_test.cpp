// zorvane-harvest keeping its runs in the rank history, and going on
// without it when the history cannot be written.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "history/history_store.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace {

using testsupport::ChildProcess;

constexpr int kDeadlineMillis = 20000;

std::size_t CountOf(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = 0; (at = text.find(part, at)) != std::string::npos; at += part.size()) {
        ++n;
    }
    return n;
}

// One answer of sql on the database, as text; read without the store, so
// that a file the store would refuse can still be looked at.
std::string Ask(const std::string& path, const std::string& sql) {
    sqlite3* raw = nullptr;
    if (sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close(raw);
        return "cannot open";
    }
    const history::DatabaseHandle db(raw);
    history::Statement query(db.get(), sql);
    return query.step() ? query.text(0) : "";
}

class HarvestHistory : public ::testing::Test {
protected:
    void SetUp() override {
        // In a folder of its own, away from the build's engines.json.
        std::filesystem::copy_file(ZORVANE_HARVEST_PATH, dir_ / "zorvane-harvest");
        engine_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{ZORVANE_DEMO_ENGINE_PATH, "--port", "0", "--pages", "2"});
        port_ = engine_->AwaitListeningPort(kDeadlineMillis);
        ASSERT_FALSE(port_.empty());
    }

    void TearDown() override {
        kill(engine_->pid(), SIGTERM);
        EXPECT_EQ(engine_->Wait(kDeadlineMillis), 0);
    }

    std::string site(const std::string& engineName) const {
        return "http://" + engineName + "@127.0.0.1:" + port_;
    }

    std::unique_ptr<ChildProcess> harvest(std::vector<std::string> args,
                                          rlim_t fileSizeLimit = RLIM_INFINITY) {
        args.insert(args.begin(), (dir_ / "zorvane-harvest").string());
        return std::make_unique<ChildProcess>(
            args,
            std::vector<std::string>{"XDG_DATA_HOME=" + dir_.path().string(),
                                     "TMPDIR=" + dir_.path().string(),
                                     "ZORVANE_NOW=2026-01-02T08:00:00Z"},
            fileSizeLimit);
    }

    testsupport::TempDir dir_{"zorvane_history"};
    const std::string db_ = (dir_ / "zorvane" / "history.sqlite3").string();
    std::string port_;
    std::unique_ptr<ChildProcess> engine_;
};

TEST_F(HarvestHistory, EveryRunIsKeptWithItsRowsUnlessToldNot) {
    auto run = harvest({"--site", site("google"), "--keyword", "red car", "--max", "150"});
    ASSERT_EQ(run->Wait(kDeadlineMillis), 0) << run->err();
    EXPECT_EQ(Ask(db_,
                  "SELECT started || ' ' || outcome || ' ' || item_limit || ' ' || steps ||"
                  " ' ' || (SELECT text FROM keyword WHERE id = keyword_id) FROM run"),
              "2026-01-02T08:00:00Z complete 150 google red car");
    EXPECT_EQ(Ask(db_, "SELECT count(*) || ' ' || max(position) FROM row"), "150 150");
    // The stored row 150 is the one the CSV shows.
    EXPECT_TRUE(run->out().find("\"150\",\"Result 150: red car & friends\",\"" +
                                Ask(db_,
                                    "SELECT url.text FROM row JOIN url ON url.id = url_id"
                                    " WHERE position = 150") +
                                "\"") != std::string::npos);

    const std::string other = (dir_ / "other.sqlite3").string();
    auto named = harvest({"--site", site("google"), "--keyword", "cars", "--history", other});
    ASSERT_EQ(named->Wait(kDeadlineMillis), 0) << named->err();
    auto none = harvest({"--site", site("google"), "--keyword", "cars", "--no-history"});
    ASSERT_EQ(none->Wait(kDeadlineMillis), 0) << none->err();
    EXPECT_EQ(Ask(other, "SELECT count(*) FROM row"), "200");
    EXPECT_EQ(Ask(db_, "SELECT count(*) FROM run"), "1");
}

// Killed in the middle of its second page, the run stays in a sound file,
// marked incomplete, with its first page; stopped there, it says so.
TEST_F(HarvestHistory, ACutRunKeepsItsFinishedPages) {
    const struct {
        int signal;
        const char* outcome;
    } cases[] = {
        {.signal = SIGKILL, .outcome = "incomplete 1"},
        {.signal = SIGTERM, .outcome = "stopped 0"},
        {.signal = SIGINT, .outcome = "stopped 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.signal);
        const std::string db = (dir_ / ("cut" + std::to_string(c.signal))).string();
        auto run =
            harvest({"--site", site("altavista"), "--keyword", "car&stall=1", "--history", db});
        ASSERT_TRUE(run->ReadUntil(
            [&] { return run->err().find("stq=50...") != std::string::npos; }, kDeadlineMillis))
            << run->err();
        kill(run->pid(), c.signal);
        run->Wait(kDeadlineMillis);
        EXPECT_EQ(Ask(db, "PRAGMA integrity_check"), "ok");
        EXPECT_EQ(Ask(db, "SELECT outcome || ' ' || (ended IS NULL) FROM run"), c.outcome);
        EXPECT_EQ(Ask(db, "SELECT count(*) || ' ' || max(position) FROM row"), "50 50");
    }
}

// A history that cannot be written is said once; the rows still come out.
TEST_F(HarvestHistory, AFailingHistoryIsReportedOnceAndTheExportGoesOn) {
    std::filesystem::create_directories(dir_ / "zorvane");
    std::ofstream(db_, std::ios::binary) << std::string(8192, 'x');
    const std::string list = (dir_ / "keywords.txt").string();
    std::ofstream(list) << "cars\nboats\n";
    const struct {
        const char* name;
        std::vector<std::string> args;
        rlim_t fileSizeLimit;
        const char* says;
    } cases[] = {
        {.name = "damaged",
         .args = {"--keywords", list},
         .fileSizeLimit = RLIM_INFINITY,
         .says = "move it aside"},
        // Every file write past 96 KiB fails as on a full disk: the history
        // takes the first page or two, then cannot grow.
        {.name = "full",
         .args = {"--keywords", list, "--history", (dir_ / "full.sqlite3").string()},
         .fileSizeLimit = 96 * 1024,
         .says = "full.sqlite3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args = {"--site", site("google")};
        args.insert(args.end(), c.args.begin(), c.args.end());
        auto run = harvest(args, c.fileSizeLimit);
        EXPECT_EQ(run->Wait(kDeadlineMillis), 0) << run->err();
        EXPECT_EQ(CountOf(run->out(), "\r\n"), 401u);
        EXPECT_EQ(CountOf(run->err(), "without history"), 1u) << run->err();
        EXPECT_NE(run->err().find(c.says), std::string::npos) << run->err();
    }
}

}  // namespace

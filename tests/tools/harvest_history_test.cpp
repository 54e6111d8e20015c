// zorvane-harvest keeping its runs in the rank history, and going on
// without it when the history cannot be written.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
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

std::string Output(const std::vector<std::string>& args) {
    ChildProcess child(args);
    EXPECT_EQ(child.Wait(kDeadlineMillis), 0) << child.err();
    return child.out();
}

// The demo engine's sites: "www.site7.example" is site7.example.
std::string SiteOfUrl(const std::string& url) {
    std::string host = url.substr(url.find("://") + 3);
    host = host.substr(0, host.find('/'));
    std::transform(host.begin(), host.end(), host.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return host.starts_with("www.") ? host.substr(4) : host;
}

// "up URL 7 3" for a move, "new URL" or "lost URL" otherwise.
std::string MoveText(const std::string& move, const std::string& url, std::int64_t before = 0,
                     std::int64_t after = 0) {
    std::string text = move;
    text += ' ';
    text += url;
    if (move == "up" || move == "down") {
        text += ' ';
        text += std::to_string(before);
        text += ' ';
        text += std::to_string(after);
    }
    return text;
}

// Three days of the demo engine's shuffled lists: what zorvane-history says
// of them is what the harvests wrote out.
TEST(HarvestHistoryByDay, PositionsAndDiffAgreeWithTheHarvestedRows) {
    const testsupport::TempDir dir("zorvane_history");
    const std::string db = (dir / "history.sqlite3").string();
    const char* const times[] = {"2026-01-01T08:00:00Z", "2026-01-02T08:00:00Z",
                                 "2026-01-03T08:00:00Z"};
    // Per day, each address's position as the harvest wrote it.
    std::vector<std::map<std::string, std::int64_t>> days;
    for (const char* now : times) {
        const std::string clock = std::string("ZORVANE_NOW=") + now;
        ChildProcess engine(
            {ZORVANE_DEMO_ENGINE_PATH, "--port", "0", "--pages", "1", "--shuffle", "7"}, {clock});
        const std::string port = engine.AwaitListeningPort(kDeadlineMillis);
        ASSERT_FALSE(port.empty());
        ChildProcess harvest(
            {ZORVANE_HARVEST_PATH, "--site", "http://google@127.0.0.1:" + port, "--keyword",
             "red car", "--max", "40", "--format", "jsonl", "--history", db},
            {clock, "TMPDIR=" + dir.path().string()});
        ASSERT_EQ(harvest.Wait(kDeadlineMillis), 0) << harvest.err();
        kill(engine.pid(), SIGTERM);
        EXPECT_EQ(engine.Wait(kDeadlineMillis), 0);
        std::map<std::string, std::int64_t> rows;
        std::istringstream lines(harvest.out());
        for (std::string line; std::getline(lines, line);) {
            const auto row = nlohmann::json::parse(line);
            rows.emplace(row["url"].get<std::string>(), row["position"].get<std::int64_t>());
        }
        ASSERT_EQ(rows.size(), 40u);
        days.push_back(std::move(rows));
    }

    const auto positions =
        nlohmann::json::parse(Output({ZORVANE_HISTORY_PATH, "--history", db, "--format", "json",
                                      "positions", "--keyword", "red car"}));
    std::set<std::string> sites;
    for (const auto& day : days) {
        for (const auto& [url, position] : day) {
            sites.insert(SiteOfUrl(url));
        }
    }
    ASSERT_EQ(positions.size(), sites.size());
    for (const auto& line : positions) {
        const std::string site = line["domain"];
        SCOPED_TRACE(site);
        for (std::size_t day = 0; day < days.size(); ++day) {
            std::optional<std::int64_t> best;
            for (const auto& [url, position] : days[day]) {
                if (SiteOfUrl(url) == site && (!best || position < *best)) {
                    best = position;
                }
            }
            EXPECT_EQ(line[times[day]].is_null() ? std::nullopt
                                                 : std::optional<std::int64_t>(line[times[day]]),
                      best);
        }
    }

    // The moves from day 1 to day 2, as the two outputs show them.
    std::set<std::string> expected;
    for (const auto& [url, after] : days[1]) {
        const auto before = days[0].find(url);
        if (before == days[0].end()) {
            expected.insert(MoveText("new", url));
        } else if (before->second != after) {
            expected.insert(
                MoveText(after < before->second ? "up" : "down", url, before->second, after));
        }
    }
    for (const auto& [url, before] : days[0]) {
        if (!days[1].contains(url)) {
            expected.insert(MoveText("lost", url));
        }
    }
    std::set<std::string> moves;
    for (const auto& entry : nlohmann::json::parse(Output(
             {ZORVANE_HISTORY_PATH, "--history", db, "--format", "json", "diff", "1", "2"}))) {
        const std::string move = entry["move"];
        const bool moved = move == "up" || move == "down";
        moves.insert(MoveText(move, entry["url"].get<std::string>(),
                              moved ? entry["before"].get<std::int64_t>() : 0,
                              moved ? entry["after"].get<std::int64_t>() : 0));
    }
    EXPECT_EQ(moves, expected);
    // The shuffle moved hits and brought some in and out.
    EXPECT_GT(std::count_if(moves.begin(), moves.end(),
                            [](const std::string& m) { return m.starts_with("new "); }),
              0);
    EXPECT_GT(std::count_if(moves.begin(), moves.end(),
                            [](const std::string& m) { return m.starts_with("up "); }),
              0);
}

}  // namespace

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

#include "tests/support/child_process.h"
#include "tests/support/scripted_server.h"
#include "tests/support/temp_dir.h"

namespace {

using testsupport::ChildProcess;

constexpr int kDeadlineMillis = 20000;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::size_t CountLines(const std::string& text) {
    std::size_t n = 0;
    for (std::size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos; at += 2) {
        ++n;
    }
    return n;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The real programs: the demo engine started on a free port, and the
// harvester copied into a folder of its own, which is its program folder.
class HarvestCli : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::copy_file(ZORVANE_HARVEST_PATH, folder_ + "zorvane-harvest");
        engine_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{ZORVANE_DEMO_ENGINE_PATH, "--port", "0", "--pages", "2"});
        port_ = engine_->AwaitListeningPort(kDeadlineMillis);
        ASSERT_FALSE(port_.empty());
    }

    void TearDown() override {
        kill(engine_->pid(), SIGTERM);
        EXPECT_EQ(engine_->Wait(kDeadlineMillis), 0);
        // The temporary page files went away with their downloads.
        for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
            const std::string name = entry.path().filename();
            EXPECT_TRUE(name == "zorvane-harvest" || name == "out.csv" || name == "tmp")
                << "left behind: " << name;
        }
    }

    std::string site(const std::string& engineName) const {
        return "http://" + engineName + "@127.0.0.1:" + port_;
    }

    std::unique_ptr<ChildProcess> harvest(std::vector<std::string> args) {
        args.insert(args.begin(), folder_ + "zorvane-harvest");
        std::filesystem::create_directories(folder_ + "tmp");
        return std::make_unique<ChildProcess>(
            args, std::vector<std::string>{"TMPDIR=" + folder_ + "tmp"});
    }

    testsupport::TempDir dir_{"zorvane_harvest"};
    const std::string folder_ = dir_.pathWithSlash();
    std::string port_;
    std::unique_ptr<ChildProcess> engine_;
};

TEST_F(HarvestCli, WritesTheRowsToStandardOutputAndStatusTextsToError) {
    auto run = harvest({"--site", site("google"), "--keyword", "red car"});
    ASSERT_EQ(run->Wait(kDeadlineMillis), 0) << run->err();
    EXPECT_EQ(CountLines(run->out()), 201u);
    EXPECT_EQ(run->out().rfind("\"Pos\",\"Anchor\",\"URL\",\"Engine Site\"\r\n\"1\",", 0), 0u);
    EXPECT_TRUE(Contains(run->out(),
                         "\"200\",\"Result 200: red car & friends\","
                         "\"http://www.site200.example/redcar/page200.html\",\"" +
                             site("google") + "\"\r\n"));
    EXPECT_TRUE(Contains(run->err(), "Getting URL: " + site("google") +
                                         "/search?as_q=red+car&num=100&start=100...\n"));
    EXPECT_TRUE(Contains(run->err(), "\n200 items\n"));
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// Standard error holds the URL line and one outcome line per page and a
// summary at the end, not a count line per row and the completion text
// after every page.
TEST(HarvestCliStatus, EveryPageIsTwoLinesAndTheRunEndsWithASummary) {
    ChildProcess engine({ZORVANE_DEMO_ENGINE_PATH, "--port", "0", "--pages", "3"});
    const std::string port = engine.AwaitListeningPort(kDeadlineMillis);
    ASSERT_FALSE(port.empty());
    const std::string google = "http://google@127.0.0.1:" + port;
    const std::string refused =
        "http://google@127.0.0.1:" + std::to_string(testsupport::UnusedPort());
    const auto url = [](const std::string& site, int start) {
        return "Getting URL: " + site + "/search?as_q=car&num=100&start=" + std::to_string(start) +
               "...";
    };
    const struct {
        const char* name;
        std::string site;
        int exitCode;
        std::vector<std::string> lines;  // without the summary
        std::string summary;             // a regular expression
    } cases[] = {
        {.name = "three pages",
         .site = google,
         .exitCode = 0,
         .lines = {url(google, 0), "100 items", url(google, 100), "200 items", url(google, 200),
                   "300 items"},
         .summary = R"(300 rows from 3 pages in [0-9]+\.[0-9] s; 0 pages failed)"},
        {.name = "a failed page",
         .site = refused,
         .exitCode = 3,
         .lines = {url(refused, 0),
                   "Connection error, check if you are connected and url exists. Socket Error # "
                   "111 Connection refused"},
         .summary = R"(0 rows from 0 pages in [0-9]+\.[0-9] s; 1 page failed)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ChildProcess run({ZORVANE_HARVEST_PATH, "--site", c.site, "--keyword", "car"});
        ASSERT_EQ(run.Wait(kDeadlineMillis), c.exitCode) << run.err();
        std::vector<std::string> lines = Lines(run.err());
        ASSERT_EQ(lines.size(), c.lines.size() + 1) << run.err();
        EXPECT_TRUE(std::regex_match(lines.back(), std::regex(c.summary))) << lines.back();
        lines.pop_back();
        EXPECT_EQ(lines, c.lines);
    }
    kill(engine.pid(), SIGTERM);
    EXPECT_EQ(engine.Wait(kDeadlineMillis), 0);
}

TEST_F(HarvestCli, WritesTheCsvFileAndKeepsTheLimit) {
    const std::string csv = folder_ + "out.csv";
    auto run = harvest({"--site", "http://yahoo.live@127.0.0.1:" + port_, "--keyword", "car",
                        "--max", "5", "--csv", csv});
    ASSERT_EQ(run->Wait(kDeadlineMillis), 0) << run->err();
    EXPECT_EQ(run->out(), "");
    const std::string text = ReadFile(csv);
    EXPECT_EQ(CountLines(text), 6u);
    EXPECT_TRUE(Contains(
        text, "\"5\",\"Result 5: car & friends\",\"HTTP://WWW.SITE5.EXAMPLE/car/page5.html\""));
}

TEST_F(HarvestCli, SeveralPassesRunInOneOutput) {
    auto both =
        harvest({"--site", "http://yahoo.live@127.0.0.1:" + port_, "--keyword", "car&pages=1"});
    ASSERT_EQ(both->Wait(kDeadlineMillis), 0);
    EXPECT_EQ(CountLines(both->out()), 201u);
}

// A site text that selects no engine is an input fault, named before any
// request and before the output is touched: an empty output would read as a
// search that found nothing.
TEST_F(HarvestCli, ASiteTextThatRunsNoPassEndsBeforeAnyRequest) {
    testsupport::ScriptedServer server(
        {testsupport::Reply(testsupport::HttpResponse("200 OK", "<html></html>"))});
    struct Case {
        std::string site;
        std::string unknown;  // the unknown name reported, if any
    } const cases[] = {
        {.site = "http://Google@" + server.hostHeader(), .unknown = ""},
        {.site = "http://" + server.hostHeader(), .unknown = ""},
        {.site = "[nosuch] http://google@" + server.hostHeader(), .unknown = "nosuch"},
        {.site = "[] http://google@" + server.hostHeader(), .unknown = ""},
    };
    const std::string csv = folder_ + "out.csv";
    for (const Case& c : cases) {
        for (const bool toFile : {false, true}) {
            std::vector<std::string> args = {"--site", c.site, "--keyword", "car"};
            if (toFile) {
                args.insert(args.end(), {"--csv", csv});
            }
            auto run = harvest(args);
            EXPECT_EQ(run->Wait(kDeadlineMillis), 2) << c.site;
            EXPECT_TRUE(
                Contains(run->err(), "zorvane-harvest: This site line runs no engine pass."))
                << c.site << ": " << run->err();
            if (!c.unknown.empty()) {
                EXPECT_TRUE(Contains(run->err(), "Unknown engine profile: " + c.unknown))
                    << run->err();
            }
            EXPECT_FALSE(Contains(run->err(), "Getting URL")) << run->err();
            EXPECT_EQ(run->out(), "") << c.site;
            EXPECT_FALSE(std::filesystem::exists(csv)) << c.site;
        }
    }
    EXPECT_EQ(server.connectionCount(), 0u);
}

TEST_F(HarvestCli, CtrlCStopsTheRunAndKeepsItsRows) {
    auto run = harvest({"--site", site("altavista"), "--keyword", "car&stall=1"});
    ASSERT_TRUE(run->ReadUntil([&] { return Contains(run->err(), "stq=50..."); }, kDeadlineMillis))
        << run->err();
    kill(run->pid(), SIGINT);
    ASSERT_EQ(run->Wait(kDeadlineMillis), 0) << run->err();
    EXPECT_EQ(CountLines(run->out()), 51u);
    EXPECT_TRUE(Contains(run->err(), "Proccess aborted by user.\n")) << run->err();
}

// SIGTERM and SIGHUP stop the run as Ctrl-C does and the rows so far still
// reach the file; only Ctrl-C, the user's own Stop, counts as a run that
// ended.
TEST_F(HarvestCli, SignalsStopTheRunAndKeepItsRows) {
    struct Case {
        int signal;
        int exitCode;
    } const cases[] = {
        {.signal = SIGINT, .exitCode = 0},
        {.signal = SIGTERM, .exitCode = 4},
        {.signal = SIGHUP, .exitCode = 4},
    };
    const std::string csv = folder_ + "out.csv";
    for (const Case& c : cases) {
        std::filesystem::remove(csv);
        auto run = harvest({"--site", site("altavista"), "--keyword", "car&stall=1", "--csv", csv});
        ASSERT_TRUE(
            run->ReadUntil([&] { return Contains(run->err(), "stq=50..."); }, kDeadlineMillis))
            << run->err();
        kill(run->pid(), c.signal);
        EXPECT_EQ(run->Wait(kDeadlineMillis), c.exitCode) << c.signal << run->err();
        EXPECT_EQ(CountLines(ReadFile(csv)), 51u) << c.signal;
        EXPECT_TRUE(Contains(run->err(), "Proccess aborted by user.\n")) << c.signal;
    }
}

TEST_F(HarvestCli, ARunWithoutAnyFetchedPageHasItsOwnExitCode) {
    struct Case {
        const char* site;
        const char* keyword;
        int exitCode;
    } const cases[] = {
        {.site = "google", .keyword = "car&fail=0", .exitCode = 3},
        {.site = "google.yahoo", .keyword = "car&fail=0", .exitCode = 3},
        // A failed later page still leaves the pages before it.
        {.site = "google", .keyword = "car&pages=3&fail=1", .exitCode = 0},
        // A site text with no pass is an input fault, with exit code 2:
        // ASiteTextThatRunsNoPassEndsBeforeAnyRequest.
    };
    for (const Case& c : cases) {
        auto run = harvest({"--site", site(c.site), "--keyword", c.keyword});
        EXPECT_EQ(run->Wait(kDeadlineMillis), c.exitCode) << c.site << " " << c.keyword;
        EXPECT_EQ(run->out().rfind("\"Pos\",\"Anchor\",\"URL\",\"Engine Site\"\r\n", 0), 0u);
    }
}

// A failed page says why on standard error after the general line: a
// server that never answers (within --timeout), a refused connection, a
// failure status.
TEST_F(HarvestCli, FailuresSayWhyOnStandardError) {
    testsupport::ScriptedServer silent(
        {{testsupport::Step::AwaitRequest(), testsupport::Step::Delay(60000)}});
    const std::string general = "Connection error, check if you are connected and url exists. ";
    struct Case {
        const char* what;
        std::string site;
        std::string keyword;
        std::vector<std::string> more = {};
        std::string because;
    };
    const Case cases[] = {
        {.what = "silent server",
         .site = "http://google@127.0.0.1:" + std::to_string(silent.port()),
         .keyword = "car",
         .more = {"--timeout", "1"},
         .because = "Timed out: nothing received or sent for 1 s"},
        {.what = "refused connection",
         .site = "http://google@127.0.0.1:" + std::to_string(testsupport::UnusedPort()),
         .keyword = "car",
         .because = "Socket Error # 111 Connection refused"},
        {.what = "failure status",
         .site = site("google"),
         .keyword = "car&fail=0",
         .because = "HTTP/1.1 503 Service Unavailable"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"--site", c.site, "--keyword", c.keyword};
        args.insert(args.end(), c.more.begin(), c.more.end());
        auto run = harvest(args);
        EXPECT_EQ(run->Wait(kDeadlineMillis), 3) << c.what << ": " << run->err();
        EXPECT_TRUE(Contains(run->err(), "\n" + general + c.because + "\n"))
            << c.what << ": " << run->err();
    }
}

std::size_t CountOf(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++n;
    }
    return n;
}

// A keyword list runs one search per keyword into one output with the
// keyword column; a keyword whose every page fails is named and the others
// still run.
TEST_F(HarvestCli, AKeywordListRunsEveryKeywordIntoOneOutput) {
    std::filesystem::create_directories(folder_ + "tmp");
    const std::string list = folder_ + "tmp/keywords.txt";
    const std::string csv = folder_ + "tmp/rows.csv";
    std::ofstream(list) << "cars\nboats&fail=0\n\nbikes&pages=1\n";
    auto run = harvest({"--site", site("google"), "--keywords", list, "--csv", csv});
    EXPECT_EQ(run->Wait(kDeadlineMillis), 3) << run->err();
    EXPECT_TRUE(Contains(run->err(), "no page could be fetched for \"boats&fail=0\""));
    const std::string text = ReadFile(csv);
    EXPECT_EQ(text.rfind("\"Pos\",\"Anchor\",\"URL\",\"Engine Site\",\"Keyword\"\r\n", 0), 0u);
    EXPECT_EQ(CountOf(text, ",\"cars\"\r\n"), 200u);
    EXPECT_EQ(CountOf(text, ",\"bikes&pages=1\"\r\n"), 100u);
    EXPECT_EQ(CountLines(text), 301u);
    // Positions count per keyword.
    EXPECT_TRUE(Contains(text, "\"1\",\"\"\"bikes\"\" 'quoted' result 1\""));

    auto jsonl =
        harvest({"--site", site("google"), "--keywords", list, "--max", "1", "--format", "jsonl"});
    EXPECT_EQ(jsonl->Wait(kDeadlineMillis), 3);
    EXPECT_EQ(CountOf(jsonl->out(), "\"keyword\":\"cars\"}\n"), 1u) << jsonl->out();
    EXPECT_EQ(CountOf(jsonl->out(), "\n"), 2u);
}

// Cut short in the middle of a keyword, the run is taken up again: the
// keywords complete before stay, the cut one's rows go, the rest follow.
TEST_F(HarvestCli, ResumeAfterAnInterruptedKeywordList) {
    std::filesystem::create_directories(folder_ + "tmp");
    const std::string list = folder_ + "tmp/keywords.txt";
    const std::string csv = folder_ + "tmp/rows.csv";
    std::ofstream(list) << "cars\nboats&stall=1\nbikes&pages=1\n";
    auto first = harvest({"--site", site("google"), "--keywords", list, "--csv", csv});
    ASSERT_TRUE(first->ReadUntil(
        [&] { return Contains(first->err(), "as_q=boats%26stall%3D1&num=100&start=100..."); },
        kDeadlineMillis))
        << first->err();
    kill(first->pid(), SIGTERM);
    EXPECT_EQ(first->Wait(kDeadlineMillis), 4) << first->err();
    // The cut keyword's first page reached the file, but not the record
    // (the journal's first line names the run).
    EXPECT_EQ(CountOf(ReadFile(csv), ",\"boats&stall=1\"\r\n"), 100u);
    EXPECT_EQ(CountOf(ReadFile(csv + ".done"), "\n"), 2u);

    // The same list on the same site: the engine comes back with one page a
    // keyword, so "boats" no longer stalls on its second.
    kill(engine_->pid(), SIGTERM);
    ASSERT_EQ(engine_->Wait(kDeadlineMillis), 0);
    engine_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{ZORVANE_DEMO_ENGINE_PATH, "--port", port_, "--pages", "1"});
    ASSERT_EQ(engine_->AwaitListeningPort(kDeadlineMillis), port_);
    auto second = harvest({"--site", site("google"), "--keywords", list, "--csv", csv, "--resume"});
    ASSERT_EQ(second->Wait(kDeadlineMillis), 0) << second->err();
    EXPECT_FALSE(Contains(second->err(), "as_q=cars")) << "a complete keyword ran again";
    EXPECT_TRUE(Contains(second->err(), "as_q=boats%26stall%3D1&num=100&start=0..."));
    const std::string text = ReadFile(csv);
    EXPECT_EQ(CountOf(text, ",\"cars\"\r\n"), 200u);
    // The cut keyword's rows once: those of the first run went.
    EXPECT_EQ(CountOf(text, ",\"boats&stall=1\"\r\n"), 100u);
    EXPECT_EQ(CountOf(text, ",\"bikes&pages=1\"\r\n"), 100u);
    EXPECT_EQ(CountLines(text), 401u);
}

// --resume takes up only the journal of the same list, site, format and
// limit; any other is named and the output stays as it is.
TEST_F(HarvestCli, ResumeRefusesTheJournalOfAnotherRun) {
    std::filesystem::create_directories(folder_ + "tmp");
    const std::string list = folder_ + "tmp/keywords.txt";
    const std::string otherList = folder_ + "tmp/other.txt";
    const std::string csv = folder_ + "tmp/rows.csv";
    std::ofstream(list) << "cars&pages=1\nboats&pages=1\n";
    std::ofstream(otherList) << "cars&pages=1\nbikes&pages=1\n";
    auto first = harvest({"--site", site("google"), "--keywords", list, "--csv", csv});
    ASSERT_EQ(first->Wait(kDeadlineMillis), 0) << first->err();
    const std::string rows = ReadFile(csv);
    const std::string journal = ReadFile(csv + ".done");

    struct Case {
        std::vector<std::string> args;
        std::string named;
    } const cases[] = {
        {.args = {"--site", site("google"), "--keywords", otherList},
         .named = "another keyword list"},
        {.args = {"--site", site("google.yahoo"), "--keywords", list},
         .named = "the site text \"" + site("google") + "\", not \"" + site("google.yahoo") + "\""},
        {.args = {"--site", site("google"), "--keywords", list, "--max", "5"},
         .named = "the item limit all, not 5"},
        {.args = {"--site", site("google"), "--keywords", list, "--format", "jsonl"},
         .named = "the format csv, not jsonl"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--csv", csv, "--resume"});
        auto run = harvest(args);
        EXPECT_EQ(run->Wait(kDeadlineMillis), 1) << c.named;
        EXPECT_TRUE(Contains(run->err(), csv + ".done: belongs to another run: ")) << run->err();
        EXPECT_TRUE(Contains(run->err(), c.named)) << run->err();
        EXPECT_FALSE(Contains(run->err(), "Getting URL")) << c.named;
        EXPECT_EQ(ReadFile(csv), rows) << c.named;
        EXPECT_EQ(ReadFile(csv + ".done"), journal) << c.named;
    }

    // A damaged journal is refused, never started over.
    std::string damaged = journal;
    damaged[10] = static_cast<char>(damaged[10] ^ 1);
    std::ofstream(csv + ".done", std::ios::binary) << damaged;
    auto run = harvest({"--site", site("google"), "--keywords", list, "--csv", csv, "--resume"});
    EXPECT_EQ(run->Wait(kDeadlineMillis), 1);
    EXPECT_TRUE(Contains(run->err(), csv + ".done: its first line is damaged")) << run->err();
    EXPECT_EQ(ReadFile(csv), rows);
}

// While a run writes a list's output, a second one on it ends at once
// without a request, with or without --resume; the first goes on.
TEST_F(HarvestCli, ASecondRunOnTheSameOutputEndsAtOnce) {
    std::filesystem::create_directories(folder_ + "tmp");
    const std::string list = folder_ + "tmp/keywords.txt";
    const std::string csv = folder_ + "tmp/rows.csv";
    std::ofstream(list) << "cars&stall=1\n";
    const std::vector<std::string> args = {"--site", site("google"), "--keywords",
                                           list,     "--csv",        csv};
    auto first = harvest(args);
    ASSERT_TRUE(
        first->ReadUntil([&] { return Contains(first->err(), "start=100..."); }, kDeadlineMillis))
        << first->err();
    for (const bool resume : {false, true}) {
        std::vector<std::string> secondArgs = args;
        if (resume) {
            secondArgs.push_back("--resume");
        }
        auto second = harvest(secondArgs);
        EXPECT_EQ(second->Wait(kDeadlineMillis), 1) << resume;
        EXPECT_TRUE(Contains(second->err(), csv + ": another zorvane-harvest run is writing it"))
            << second->err();
        EXPECT_FALSE(Contains(second->err(), "Getting URL")) << resume;
    }
    kill(first->pid(), SIGTERM);
    EXPECT_EQ(first->Wait(kDeadlineMillis), 4) << first->err();
    const std::string text = ReadFile(csv);
    EXPECT_EQ(text.rfind("\"Pos\",\"Anchor\",\"URL\",\"Engine Site\",\"Keyword\"\r\n", 0), 0u);
    EXPECT_EQ(CountOf(text, ",\"cars&stall=1\"\r\n"), 100u);
    EXPECT_EQ(CountLines(text), 101u);
}

// "--csv -" is standard output: the same bytes a file would get, there and
// nowhere else, the status texts on standard error, and no file named "-".
TEST_F(HarvestCli, CsvDashWritesTheRowsToStandardOutput) {
    std::filesystem::create_directories(folder_ + "tmp");
    const std::string list = folder_ + "tmp/keywords.txt";
    std::ofstream(list) << "cars&pages=1\nboats&pages=1\n";
    const std::string csv = folder_ + "tmp/rows.csv";
    const std::vector<std::string> modes[] = {
        {"--keyword", "car&pages=1"},
        {"--keyword", "car&pages=1", "--format", "jsonl"},
        {"--keywords", list},
    };
    for (const std::vector<std::string>& mode : modes) {
        std::vector<std::string> args = {"--site", site("google")};
        args.insert(args.end(), mode.begin(), mode.end());
        std::vector<std::string> toFile = args;
        toFile.insert(toFile.end(), {"--csv", csv});
        auto file = harvest(toFile);
        ASSERT_EQ(file->Wait(kDeadlineMillis), 0) << file->err();
        args.insert(args.end(), {"--csv", "-"});
        auto dash = harvest(args);
        ASSERT_EQ(dash->Wait(kDeadlineMillis), 0) << dash->err();
        EXPECT_EQ(dash->out(), ReadFile(csv)) << mode[0];
        EXPECT_GE(CountOf(dash->out(), "\n"), 100u) << mode[0];
        EXPECT_TRUE(Contains(dash->err(), "Getting URL: ")) << mode[0];
        EXPECT_FALSE(Contains(dash->err(), "car & friends")) << mode[0];
        EXPECT_FALSE(std::filesystem::exists("-"));
        EXPECT_FALSE(std::filesystem::exists(folder_ + "-"));
        std::filesystem::remove(csv);
        std::filesystem::remove(csv + ".done");
    }
}

// A keyword list that cannot be read is input at fault, like a bad
// argument: exit code 2 and one line naming it, before any request and
// before the output is touched.
TEST_F(HarvestCli, AKeywordListThatCannotBeReadIsAnInputError) {
    std::filesystem::create_directories(folder_ + "tmp/folder");
    const std::string notUtf8 = folder_ + "tmp/latin1.txt";
    std::ofstream(notUtf8) << "caf\xE9\n";
    const std::string csv = folder_ + "out.csv";
    for (const std::string& list : {folder_ + "tmp/missing.txt", folder_ + "tmp/folder", notUtf8}) {
        for (const bool toFile : {false, true}) {
            std::vector<std::string> args = {"--site", site("google"), "--keywords", list};
            if (toFile) {
                args.insert(args.end(), {"--csv", csv});
            }
            auto run = harvest(args);
            EXPECT_EQ(run->Wait(kDeadlineMillis), 2) << list;
            const std::vector<std::string> lines = Lines(run->err());
            ASSERT_EQ(lines.size(), 1u) << run->err();
            EXPECT_EQ(lines[0].rfind("zorvane-harvest: ", 0), 0u) << lines[0];
            EXPECT_TRUE(Contains(lines[0], list)) << lines[0];
            EXPECT_FALSE(Contains(lines[0], "write")) << lines[0];
            EXPECT_EQ(run->out(), "");
            EXPECT_FALSE(std::filesystem::exists(csv)) << list;
        }
    }
}

// An option's value is taken as it stands, a leading "-" too, and numbers
// are decimal: "010" is ten.
TEST_F(HarvestCli, ValuesAreTakenAsTheyStand) {
    auto run = harvest({"--site", site("google"), "--keyword", "-red&pages=1", "--max", "010"});
    ASSERT_EQ(run->Wait(kDeadlineMillis), 0) << run->err();
    EXPECT_TRUE(Contains(run->err(), "as_q=-red%26pages%3D1&")) << run->err();
    EXPECT_EQ(CountLines(run->out()), 11u);
}

TEST_F(HarvestCli, AnUnwritableCsvFileIsNamed) {
    const std::string csv = folder_ + "missing/out.csv";
    auto run = harvest({"--site", site("live"), "--keyword", "car&pages=1", "--csv", csv});
    EXPECT_EQ(run->Wait(kDeadlineMillis), 1);
    EXPECT_TRUE(Contains(run->err(), csv)) << run->err();
}

// An output that cannot be written ends the run before its first request,
// for root too: nothing is harvested only to be lost.
TEST_F(HarvestCli, AnUnwritableOutputCostsNoRequest) {
    testsupport::ScriptedServer server(
        {testsupport::Reply(testsupport::HttpResponse("200 OK", "<html></html>"))});
    const std::string site = "http://google@" + server.hostHeader();
    std::filesystem::create_directories(folder_ + "tmp");
    const std::string list = folder_ + "tmp/keywords.txt";
    std::ofstream(list) << "cars\nboats\n";
    std::ofstream(folder_ + "tmp/plain") << "a file, not a folder\n";
    const std::string outputs[] = {folder_ + "tmp/plain/out.csv", "/proc/zorvane-out.csv"};
    const std::vector<std::string> modes[] = {
        {"--keyword", "cars"},
        {"--keywords", list},
        {"--keywords", list, "--resume"},
    };
    for (const std::string& csv : outputs) {
        for (const std::vector<std::string>& mode : modes) {
            std::vector<std::string> args = {"--site", site, "--csv", csv};
            args.insert(args.end(), mode.begin(), mode.end());
            auto run = harvest(args);
            EXPECT_EQ(run->Wait(kDeadlineMillis), 1) << csv << " " << mode[0];
            EXPECT_TRUE(Contains(run->err(), "zorvane-harvest: ")) << run->err();
            EXPECT_TRUE(Contains(run->err(), csv)) << run->err();
            EXPECT_FALSE(Contains(run->err(), "Getting URL")) << run->err();
        }
    }
    EXPECT_EQ(server.connectionCount(), 0u);
}

// Watches a folder for writes into its files.
class FolderWatch {
public:
    explicit FolderWatch(const std::string& folder)
        : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        if (fd_ < 0 || ::inotify_add_watch(fd_, folder.c_str(), IN_MODIFY) < 0) {
            throw std::runtime_error("cannot watch " + folder);
        }
    }
    ~FolderWatch() { ::close(fd_); }
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    // Whether a file whose name ends in suffix was written to before the deadline.
    bool AwaitWrite(const std::string& suffix, int timeoutMillis) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMillis);
        alignas(inotify_event) char buffer[64 * 1024];
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd watch{.fd = fd_, .events = POLLIN, .revents = 0};
            if (left.count() <= 0 || ::poll(&watch, 1, static_cast<int>(left.count())) <= 0) {
                return false;
            }
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                const std::string name = event->len > 0 ? event->name : "";
                if (name.ends_with(suffix)) {
                    return true;
                }
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
    }

private:
    int fd_;
};

// A second signal while the rows go into the file ends the program at once,
// as it always did, and now without leaving the temporary file beside the
// old output, whichever of the three it is.
TEST_F(HarvestCli, ASecondSignalDuringTheFinalWriteLeavesNoTemporaryFile) {
    const std::string csv = folder_ + "out.csv";
    // A write long enough for the second signal to land in it, from few
    // pages: 3 900 rows of 4 KB each, their anchors the long keyword.
    constexpr std::size_t kRows = 3900;
    const std::string keyword = std::string(4000, 'x') + "&pages=40&stall=39";
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        bool cutInTheWrite = false;
        // A busy machine may let the write end before the second signal
        // arrives; a few tries see it land in the middle.
        for (int attempt = 0; attempt < 3 && !cutInTheWrite; ++attempt) {
            std::ofstream(csv, std::ios::binary | std::ios::trunc) << "old rows\r\n";
            FolderWatch watch(folder_);
            auto run = harvest({"--site", site("google"), "--keyword", keyword, "--csv", csv});
            ASSERT_TRUE(run->ReadUntil([&] { return Contains(run->err(), "start=3900..."); },
                                       kDeadlineMillis))
                << signal;
            kill(run->pid(), signal);
            ASSERT_TRUE(watch.AwaitWrite(".tmp", kDeadlineMillis)) << signal;
            kill(run->pid(), signal);
            run->Wait(kDeadlineMillis);
            ASSERT_FALSE(run->timedOut()) << signal;
            const std::string text = ReadFile(csv);
            for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
                EXPECT_FALSE(entry.path().filename().string().ends_with(".tmp"))
                    << signal << ": left behind: " << entry.path();
            }
            // The old file whole, or the new one complete: never anything between.
            EXPECT_TRUE(text == "old rows\r\n" || CountLines(text) == kRows + 1)
                << signal << ": " << text.size() << " bytes";
            cutInTheWrite = run->endSignal() == signal && text == "old rows\r\n";
        }
        EXPECT_TRUE(cutInTheWrite) << signal << ": the second signal never came in the write";
    }
}

}  // namespace

// Every program's command line read the same way: --help and --version on
// standard output with exit code 0, and a bad command line as one line
// naming the fault and "Run with --help for usage." with exit code 2.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"
#include "util/program_version.h"

namespace {

using testsupport::ChildProcess;

constexpr int kDeadlineMillis = 20000;

const std::string kVersion(util::ProgramVersion);
constexpr const char* kRunWithHelp = "Run with --help for usage.";

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The window program without a display: no DISPLAY, no Wayland and no
// platform chosen, as on a server or in a plain terminal session. Its
// runtime folder is one of its own, so that Qt has nothing to say about a
// missing one.
std::vector<std::string> WithoutDisplay(std::vector<std::string> args) {
    static const testsupport::TempDir runtime("zorvane_runtime");
    args.insert(args.begin(),
                {"/usr/bin/env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM",
                 "XDG_RUNTIME_DIR=" + runtime.path().string(), ZORVANE_WINDOW_PATH});
    return args;
}

struct Case {
    const char* name;
    std::vector<std::string> command;  // the program and its arguments
    int exitCode;
    // Standard output: empty, or it holds this.
    std::string out = {};
    // Standard error, a part of each line; none: empty.
    std::vector<std::string> err = {};
};

void Check(const Case& c) {
    SCOPED_TRACE(c.name);
    ChildProcess run(c.command);
    ASSERT_EQ(run.Wait(kDeadlineMillis), c.exitCode) << run.err();
    if (c.out.empty()) {
        EXPECT_EQ(run.out(), "");
    } else {
        EXPECT_TRUE(Contains(run.out(), c.out)) << run.out();
    }
    const std::vector<std::string> lines = Lines(run.err());
    ASSERT_EQ(lines.size(), c.err.size()) << run.err();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_TRUE(Contains(lines[i], c.err[i])) << lines[i] << " lacks " << c.err[i];
    }
}

// A bad command line of program: what the first line says, then the hint.
std::vector<std::string> UsageError(const std::string& program, const std::string& what) {
    return {program + ": " + what, kRunWithHelp};
}

TEST(CommandLine, HelpAndVersionEverywhere) {
    const Case cases[] = {
        {.name = "harvest --help",
         .command = {ZORVANE_HARVEST_PATH, "--help"},
         .exitCode = 0,
         .out = "Usage: zorvane-harvest [OPTIONS]"},
        {.name = "harvest --version",
         .command = {ZORVANE_HARVEST_PATH, "--version"},
         .exitCode = 0,
         .out = "zorvane-harvest " + kVersion + "\n"},
        {.name = "harvest -h",
         .command = {ZORVANE_HARVEST_PATH, "-h"},
         .exitCode = 0,
         .out = "--keywords LIST"},
        {.name = "demo engine --help",
         .command = {ZORVANE_DEMO_ENGINE_PATH, "--help"},
         .exitCode = 0,
         .out = "Usage: zorvane-demo-engine [OPTIONS]"},
        {.name = "demo engine --version",
         .command = {ZORVANE_DEMO_ENGINE_PATH, "--version"},
         .exitCode = 0,
         .out = "zorvane-demo-engine " + kVersion + "\n"},
        {.name = "demo publisher --help",
         .command = {ZORVANE_DEMO_PUBLISHER_PATH, "--help"},
         .exitCode = 0,
         .out = "Usage: zorvane-demo-publisher [OPTIONS]"},
        {.name = "demo publisher --version",
         .command = {ZORVANE_DEMO_PUBLISHER_PATH, "--version"},
         .exitCode = 0,
         .out = "zorvane-demo-publisher " + kVersion + "\n"},
        {.name = "window --help without a display",
         .command = WithoutDisplay({"--help"}),
         .exitCode = 0,
         .out = "Usage: zorvane [OPTIONS]"},
        {.name = "window --version without a display",
         .command = WithoutDisplay({"--version"}),
         .exitCode = 0,
         .out = "zorvane " + kVersion + "\n"},
        {.name = "window --version after Qt's options",
         .command = WithoutDisplay({"-platform", "offscreen", "-style", "fusion", "--version"}),
         .exitCode = 0,
         .out = "zorvane " + kVersion + "\n"},
    };
    for (const Case& c : cases) {
        Check(c);
    }
}

// The exit codes and what --csv - means are in the harvester's help.
TEST(CommandLine, TheHarvestersHelpListsItsExitCodes) {
    ChildProcess run({ZORVANE_HARVEST_PATH, "--help"});
    ASSERT_EQ(run.Wait(kDeadlineMillis), 0);
    for (const char* part :
         {"\n  0  the run ended", "\n  1  the rows could not be written",
          "FILE locked by another run", "a journal\n     --resume refuses", "\n  2  bad arguments",
          "an unreadable --keywords LIST", "runs no engine pass", "\n  3  pages were requested",
          "\n  4  stopped by SIGTERM or SIGHUP", "\n  5  an engine refused to answer",
          "\n  6  pages came, but not one held", "first that applies of 4, 5,\n3 and 6",
          "(no --csv, or --csv -)"}) {
        EXPECT_TRUE(Contains(run.out(), part)) << part;
    }
}

TEST(CommandLine, ABadCommandLineIsOneLineAndTheHint) {
    const std::string harvest = ZORVANE_HARVEST_PATH;
    const std::string engine = ZORVANE_DEMO_ENGINE_PATH;
    const std::string publisher = ZORVANE_DEMO_PUBLISHER_PATH;
    const std::string site = "http://google@127.0.0.1:1";
    const auto harvestError = [](const std::string& what) {
        return UsageError("zorvane-harvest", what);
    };
    const Case cases[] = {
        {.name = "harvest without arguments",
         .command = {harvest},
         .exitCode = 2,
         .err = harvestError("--site and one of --keyword and --keywords are required")},
        {.name = "harvest without a keyword",
         .command = {harvest, "--site", site},
         .exitCode = 2,
         .err = harvestError("--site and one of --keyword and --keywords are required")},
        {.name = "harvest without a site",
         .command = {harvest, "--keyword", "k"},
         .exitCode = 2,
         .err = harvestError("--site and one of --keyword and --keywords are required")},
        {.name = "harvest with both keyword options",
         .command = {harvest, "--site", site, "--keyword", "k", "--keywords", "list"},
         .exitCode = 2,
         .err = harvestError("--site and one of --keyword and --keywords are required")},
        {.name = "harvest --max ten",
         .command = {harvest, "--site", site, "--keyword", "k", "--max", "ten"},
         .exitCode = 2,
         .err = harvestError("--max: needs a whole number")},
        {.name = "harvest --max 5x",
         .command = {harvest, "--site", site, "--keyword", "k", "--max", "5x"},
         .exitCode = 2,
         .err = harvestError("--max: needs a whole number")},
        {.name = "harvest unknown option",
         .command = {harvest, "--site", site, "--keyword", "k", "--pages", "2"},
         .exitCode = 2,
         .err = harvestError("The following arguments were not expected: 2 --pages")},
        {.name = "harvest option without its value",
         .command = {harvest, "--site", site, "--keyword"},
         .exitCode = 2,
         .err = harvestError("--keyword")},
        {.name = "harvest --timeout 0",
         .command = {harvest, "--site", site, "--keyword", "k", "--timeout", "0"},
         .exitCode = 2,
         .err = harvestError("--timeout: needs a whole number of seconds from 1 to 86400")},
        {.name = "harvest --timeout 1.5",
         .command = {harvest, "--site", site, "--keyword", "k", "--timeout", "1.5"},
         .exitCode = 2,
         .err = harvestError("--timeout: needs a whole number of seconds from 1 to 86400")},
        {.name = "harvest --timeout 86401",
         .command = {harvest, "--site", site, "--keyword", "k", "--timeout", "86401"},
         .exitCode = 2,
         .err = harvestError("--timeout: needs a whole number of seconds from 1 to 86400")},
        {.name = "harvest --timeout without its value",
         .command = {harvest, "--site", site, "--keyword", "k", "--timeout"},
         .exitCode = 2,
         .err = harvestError("--timeout")},
        {.name = "harvest --lang with a blank",
         .command = {harvest, "--site", site, "--keyword", "k", "--lang", "de DE"},
         .exitCode = 2,
         .err = harvestError("--lang: may hold only ASCII letters, digits, \"-\" and \"_\"")},
        {.name = "harvest --region that could split a header",
         .command = {harvest, "--site", site, "--keyword", "k", "--region", "DE\r\nX-A: 1"},
         .exitCode = 2,
         .err = harvestError("--region: may hold only ASCII letters, digits, \"-\" and \"_\"")},
        {.name = "harvest --lang empty",
         .command = {harvest, "--site", site, "--keyword", "k", "--lang", ""},
         .exitCode = 2,
         .err = harvestError("--lang: must not be empty")},
        {.name = "harvest --region too long",
         .command = {harvest, "--site", site, "--keyword", "k", "--region", std::string(36, 'A')},
         .exitCode = 2,
         .err = harvestError("--region: longer than 35 bytes")},
        {.name = "harvest --format xml",
         .command = {harvest, "--site", site, "--keyword", "k", "--format", "xml"},
         .exitCode = 2,
         .err = harvestError("--format")},
        {.name = "harvest --resume without a list",
         .command = {harvest, "--site", site, "--keyword", "k", "--csv", "out.csv", "--resume"},
         .exitCode = 2,
         .err = harvestError("--resume needs --keywords and an output file (--csv FILE)")},
        {.name = "harvest --resume into standard output",
         .command = {harvest, "--site", site, "--keywords", "list", "--csv", "-", "--resume"},
         .exitCode = 2,
         .err = harvestError("--resume needs --keywords and an output file (--csv FILE)")},
        {.name = "harvest --engines of a missing file",
         .command = {harvest, "--list-engines", "--engines", "/nonexistent/engines.json"},
         .exitCode = 2,
         .err = harvestError("cannot read the engines file /nonexistent/engines.json")},
        {.name = "demo engine without arguments",
         .command = {engine},
         .exitCode = 2,
         .err = UsageError("zorvane-demo-engine", "--port is required")},
        {.name = "demo engine --port 70000",
         .command = {engine, "--port", "70000"},
         .exitCode = 2,
         .err = UsageError("zorvane-demo-engine", "--port: is a port number, 0 to 65535")},
        {.name = "demo engine --port x",
         .command = {engine, "--port", "x"},
         .exitCode = 2,
         .err = UsageError("zorvane-demo-engine", "--port: is a port number, 0 to 65535")},
        {.name = "demo engine --pages 0",
         .command = {engine, "--port", "0", "--pages", "0"},
         .exitCode = 2,
         .err = UsageError("zorvane-demo-engine", "--pages: is a whole number from 1 to")},
        {.name = "demo engine unknown option",
         .command = {engine, "--port", "0", "--verbose"},
         .exitCode = 2,
         .err = UsageError("zorvane-demo-engine",
                           "The following argument was not expected: --verbose")},
        {.name = "demo engine --charset without --page",
         .command = {engine, "--port", "0", "--charset", "utf-8"},
         .exitCode = 2,
         .err = UsageError("zorvane-demo-engine", "--charset requires --page")},
        {.name = "demo engine --charset that is no charset name",
         .command = {engine, "--port", "0", "--page", "p.html", "--charset", "a;b"},
         .exitCode = 2,
         .err = UsageError("zorvane-demo-engine", "--charset: is not a charset name")},
        {.name = "demo publisher without arguments",
         .command = {publisher},
         .exitCode = 2,
         .err = UsageError("zorvane-demo-publisher", "--port is required")},
        {.name = "demo publisher unknown option",
         .command = {publisher, "--port", "0", "--news"},
         .exitCode = 2,
         .err = UsageError("zorvane-demo-publisher",
                           "The following argument was not expected: --news")},
        {.name = "demo publisher --folder that is no folder",
         .command = {publisher, "--port", "0", "--folder", "/nonexistent"},
         .exitCode = 2,
         .err = UsageError("zorvane-demo-publisher", "--folder: not a folder: /nonexistent")},
        {.name = "window unknown option",
         .command = WithoutDisplay({"-platform", "offscreen", "--bogus"}),
         .exitCode = 2,
         .err = UsageError("zorvane", "The following argument was not expected: --bogus")},
        {.name = "window argument",
         .command = WithoutDisplay({"-platform", "offscreen", "file.txt"}),
         .exitCode = 2,
         .err = UsageError("zorvane", "The following argument was not expected: file.txt")},
    };
    for (const Case& c : cases) {
        Check(c);
    }
}

}  // namespace

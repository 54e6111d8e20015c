// zorvane-history: the rank history from the command line. Lists runs,
// follows domains over a keyword's runs, compares two runs, reports big
// moves, and carries rows out of and into the database.

#include <cstdio>
#include <exception>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "history/database_path.h"
#include "history/jsonl_rows.h"
#include "history/prune.h"
#include "tools/cli/command_line.h"
#include "tools/history/commands.h"

namespace {

constexpr const char* kDescription = "Reads and keeps the rank history of zorvane-harvest.";

constexpr const char* kFooter =
    "The history is $XDG_DATA_HOME/zorvane/history.sqlite3 (default\n"
    "~/.local/share/zorvane/), or --history FILE. --history and --format may also\n"
    "follow the command. RUN is a run's number (as runs lists it) or its id.\n"
    "positions: each domain's best position in each run of the keyword, then its\n"
    "best, its last and its change since the run before (positive: moved up); a\n"
    "domain counts with its subdomains; without --domain every site of the rows.\n"
    "changes: addresses that moved at least N places in a run started since DATE\n"
    "(1d, 12h, 30m back, or 2026-01-02, or 2026-01-02T08:00:00Z), from the run\n"
    "of its keyword before.\n"
    "import reads the JSON lines of zorvane-harvest --format jsonl (or of export);\n"
    "a run already stored is not stored again.\n"
    "ZORVANE_NOW (2026-01-02T08:00:00Z) stands in for the clock.\n"
    "\n"
    "Exit codes: 0 done; 1 the history cannot be read or written; 2 bad arguments\n"
    "or a run that is not there.\n";

constexpr int kExitHistoryFailed = 1;

// A history is hundreds of days at most; the bound keeps the arithmetic sound.
constexpr long long kLongestPruneDays = 100000;

}  // namespace

int main(int argc, char** argv) {
    CLI::App app(kDescription, "zorvane-history");
    app.footer(kFooter);
    cli::AddVersionFlag(app);
    app.require_subcommand(1);
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);

    std::string path = history::DefaultDatabasePath();
    std::string format = "table";
    // In each command too, so that they may follow it.
    const auto addCommon = [&](CLI::App* on) {
        on->add_option("--history", path, "the history database")->type_name("FILE");
        on->add_option("--format", format, "table (the default), csv or json")
            ->type_name("table|csv|json")
            ->check(CLI::IsMember({"table", "csv", "json"}).description(""));
    };
    addCommon(&app);

    std::optional<std::string> keyword;
    std::string since;
    std::string runA;
    std::string runB;
    std::vector<std::string> domains;
    std::string engine;
    long long minMove = 1;
    long long days = 0;
    std::string exportFormat = "csv";
    std::optional<std::string> exportRun;
    std::string importFile;
    std::string importKeyword;

    CLI::App* runs =
        app.add_subcommand("runs", "every run: its number, date, keyword, rows, outcome");
    runs->add_option("--keyword", keyword, "only the runs of KEYWORD")->type_name("K");
    runs->add_option("--since", since, "only runs started since DATE")->type_name("DATE");
    CLI::App* show = app.add_subcommand("show", "the rows of one run");
    show->add_option("RUN", runA, "the run")->required();
    CLI::App* positions = app.add_subcommand("positions", "where each domain stood in each run");
    positions->add_option("--keyword", keyword, "the keyword")->type_name("K")->required();
    positions->add_option("--domain", domains, "a domain to follow (repeatable)")
        ->type_name("D")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    positions->add_option("--engine", engine, "only rows whose engine site holds E")
        ->type_name("E");
    CLI::App* diff =
        app.add_subcommand("diff", "new, lost and moved addresses from RUN_A to RUN_B");
    diff->add_option("RUN_A", runA, "the earlier run")->required();
    diff->add_option("RUN_B", runB, "the later run")->required();
    CLI::App* changes = app.add_subcommand("changes", "the big moves of recent runs");
    changes->add_option("--since", since, "runs started since DATE (default 1d)")
        ->type_name("DATE");
    changes->add_option("--min-move", minMove, "at least N places (default 1)")
        ->type_name("N")
        ->check(CLI::Range(1LL, 1000000000LL));
    CLI::App* exporting = app.add_subcommand("export", "rows to standard output");
    exporting->add_option("--format", exportFormat, "csv (the default) or jsonl")
        ->type_name("csv|jsonl")
        ->check(CLI::IsMember({"csv", "jsonl"}).description(""));
    exporting->add_option("--history", path, "the history database")->type_name("FILE");
    exporting->add_option("--keyword", keyword, "only the runs of KEYWORD")->type_name("K");
    exporting->add_option("--run", exportRun, "only RUN")->type_name("RUN");
    CLI::App* importing = app.add_subcommand("import", "rows from JSON lines");
    importing->add_option("FILE", importFile, "the JSON lines (- for standard input)")->required();
    importing->add_option("--keyword", importKeyword, "the keyword of lines that name none")
        ->type_name("K");
    CLI::App* prune = app.add_subcommand("prune", "remove runs older than DAYS days");
    prune->add_option("--older-than", days, "days")
        ->type_name("DAYS")
        ->required()
        ->check(CLI::Range(0LL, kLongestPruneDays));
    for (CLI::App* command : {runs, show, positions, diff, changes, importing, prune}) {
        addCommon(command);
    }

    if (const std::optional<int> code = cli::Parse(app, argc, argv)) {
        return *code;
    }
    if (path.empty()) {
        return cli::UsageError(
            app, "neither XDG_DATA_HOME nor HOME names a folder: give --history FILE");
    }
    const historytool::Format outputFormat = format == "csv"    ? historytool::Format::Csv
                                             : format == "json" ? historytool::Format::Json
                                                                : historytool::Format::Table;
    try {
        history::HistoryStore store(path);
        const util::UtcSeconds now = util::UtcNow();
        std::optional<util::UtcSeconds> sinceTime;
        if (!since.empty()) {
            sinceTime = historytool::SinceTime(since, now);
            if (!sinceTime) {
                return cli::UsageError(
                    app, "--since " + since +
                             " is neither 1d, 12h, 30m, 2026-01-02 nor 2026-01-02T08:00:00Z");
            }
        }
        historytool::Table table;
        if (runs->parsed()) {
            table = historytool::RunsTable(store, keyword, sinceTime);
        } else if (show->parsed()) {
            table = historytool::ShowTable(store, runA);
        } else if (positions->parsed()) {
            table = historytool::PositionsTable(store, *keyword, domains, engine);
        } else if (diff->parsed()) {
            table = historytool::DiffTable(store, runA, runB);
        } else if (changes->parsed()) {
            table = historytool::ChangesTable(store, sinceTime.value_or(now - 86400), minMove);
        } else if (exporting->parsed()) {
            historytool::Export(store, exportFormat == "jsonl", keyword, exportRun, std::cout);
            std::cout.flush();
            return std::cout ? 0 : kExitHistoryFailed;
        } else if (importing->parsed()) {
            std::ifstream file;
            if (importFile != "-") {
                file.open(importFile, std::ios::binary);
                if (!file) {
                    return cli::UsageError(app, "cannot read " + importFile);
                }
            }
            const history::ImportCount count =
                history::ImportJsonLines(store, importFile == "-" ? std::cin : file, importKeyword);
            std::cerr << "zorvane-history: " << count.runsAdded << " runs with " << count.rows
                      << " rows added, " << count.runsKnown << " runs stored already\n";
            return 0;
        } else if (prune->parsed()) {
            const std::int64_t removed = history::PruneRuns(store.db(), now - days * 86400);
            std::cerr << "zorvane-history: " << removed << " runs removed\n";
            return 0;
        }
        historytool::Print(table, outputFormat, std::cout);
        std::cout.flush();
        return std::cout ? 0 : kExitHistoryFailed;
    } catch (const historytool::UsageProblem& e) {
        return cli::UsageError(app, e.what());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zorvane-history: %s\n", e.what());
        return kExitHistoryFailed;
    }
}

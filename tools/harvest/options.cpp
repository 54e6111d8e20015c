#include "tools/harvest/options.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <tuple>

#include "search/profiles/profile_locale.h"
#include "tools/cli/command_line.h"

namespace harvest {
namespace {

constexpr const char* kDescription =
    "Runs one search, or one per line of a keyword list, with the window's own code and\n"
    "writes the rows as comma-delimited text (or JSON lines).";

constexpr const char* kFooter =
    "Runs every engine pass whose name the site text holds (google, yahoo, live,\n"
    "altavista, google backlinks) and every engine profile the site text selects,\n"
    "as the Search button does (\"[name,...] URL\" runs only the named ones), and\n"
    "writes the rows to FILE, or to standard output (no --csv, or --csv -):\n"
    "comma-delimited text with a header line, or with --format jsonl one JSON object\n"
    "per line (with the snippet and the raw link where a profile gives them).\n"
    "--lang and --region fill {lang} and {region} of the profiles that name them\n"
    "(the README lists which); without them each profile's default is sent.\n"
    "N is the item limit (0 or less: all). Standard error gets each page's URL and\n"
    "one line of its outcome, and a summary line per search.\n"
    "--timeout: a request that receives or sends nothing for SECONDS fails, and the\n"
    "pass goes on as after any failed page.\n"
    "--keywords LIST runs one search per line of LIST (UTF-8) with the same site and\n"
    "limit into one output, with a Keyword column (field) added; the rows of each\n"
    "keyword are written when it completes, and FILE.done records it, so that\n"
    "--resume after an interruption skips the keywords already complete.\n"
    "FILE.done names the list, site, format and limit it was written for: --resume\n"
    "refuses one of another run, or a damaged one. A run holds FILE locked; a second\n"
    "one on it ends at once.\n"
    "Profiles: built in, then engines.json beside the program, then --engines FILE\n"
    "(default ~/.config/zorvane/engines.json); a profile named like an earlier one\n"
    "replaces it.\n"
    "Every search is also kept in the rank history (see zorvane-history), in\n"
    "$XDG_DATA_HOME/zorvane/history.sqlite3 (default ~/.local/share/zorvane/), or\n"
    "in --history FILE; --no-history keeps none. A history that cannot be written\n"
    "is reported once, and the harvest and its output go on without it.\n"
    "ZORVANE_NOW (e.g. 2026-01-02T08:00:00Z, UTC) dates the runs instead of the clock.\n"
    "Ctrl-C, SIGTERM and SIGHUP stop the run; the rows harvested so far are still\n"
    "written. A second one of the same signal ends the program at once, without\n"
    "leaving a temporary file.\n"
    "\n"
    "Exit codes:\n"
    "  0  the run ended (also when stopped with Ctrl-C)\n"
    "  1  the rows could not be written (FILE is opened before the first request),\n"
    "     or a list's output could not start: FILE locked by another run, a journal\n"
    "     --resume refuses\n"
    "  2  bad arguments, an unreadable --keywords LIST or --engines FILE, or a site\n"
    "     text that runs no engine pass (nothing requested)\n"
    "  3  pages were requested and not one could be fetched (with --keywords: for\n"
    "     at least one keyword; the others ran)\n"
    "  4  stopped by SIGTERM or SIGHUP; the rows so far were written\n"
    "  5  an engine refused to answer (blocked: HTTP 403/429/503, a CAPTCHA page...);\n"
    "     the rows so far were written\n"
    "  6  pages came, but not one held a hit or a next link the passes can read (the\n"
    "     engine may have changed its pages; an engine profile may serve)\n"
    "A run that is more than one of these ends with the first that applies of 4, 5,\n"
    "3 and 6.\n";

// A whole number in decimal, as strtoll reads it, and nothing after it.
bool ParseWholeNumber(const std::string& text, long long& out) {
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0') {
        return false;
    }
    out = value;
    return true;
}

}  // namespace

std::optional<int> ParseOptions(int argc, const char* const* argv, Options& options) {
    CLI::App app(kDescription, "zorvane-harvest");
    app.footer(kFooter);
    cli::AddVersionFlag(app);
    // As the command line always did: the last of a repeated option counts.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);

    std::string keyword;
    std::string keywordsFile;
    std::string output;
    std::string enginesFile;
    std::string format = "csv";
    app.add_option("--site", options.site, "the engine site line, as in sites.txt")
        ->type_name("SITE_TEXT");
    CLI::Option* keywordOption =
        app.add_option("--keyword", keyword, "the keyword to search for")->type_name("KEYWORD");
    CLI::Option* keywordsOption =
        app.add_option("--keywords", keywordsFile, "one search per line of LIST")
            ->type_name("LIST");
    CLI::Option* outputOption =
        app.add_option("--csv", output, "the output file; - for standard output")
            ->type_name("FILE");
    app.add_option("--format", format, "csv (the default) or jsonl")
        ->type_name("csv|jsonl")
        ->check(CLI::IsMember({"csv", "jsonl"}).description(""));
    CLI::Option* enginesOption =
        app.add_option("--engines", enginesFile, "the user's engine profile file")
            ->type_name("FILE");
    // Numbers are read in decimal only: "010" stays ten, as it always was.
    app.add_option_function<std::string>(
           "--max",
           [&options](const std::string& text) {
               long long n = 0;
               if (!ParseWholeNumber(text, n)) {
                   throw CLI::ValidationError("--max", "needs a whole number");
               }
               options.maxItems = static_cast<double>(n);
           },
           "the item limit (0 or less: all)")
        ->type_name("N");
    app.add_option_function<std::string>(
           "--timeout",
           [&options](const std::string& text) {
               long long n = 0;
               if (!ParseWholeNumber(text, n) || n < 1 || n > kLongestTimeoutSeconds) {
                   throw CLI::ValidationError("--timeout",
                                              "needs a whole number of seconds from 1 to 86400");
               }
               options.timeoutSeconds = static_cast<int>(n);
           },
           "a request fails after SECONDS without a byte (1 to 86400, default 60)")
        ->type_name("SECONDS");
    for (const auto& [name, out, what] :
         {std::tuple{"--lang", &options.lang, "the language profiles ask for (e.g. de)"},
          std::tuple{"--region", &options.region, "the region profiles ask for (e.g. DE)"}}) {
        app.add_option_function<std::string>(
               name,
               [name, out](const std::string& text) {
                   if (const std::string fault = search::LocaleValueFault(text); !fault.empty()) {
                       throw CLI::ValidationError(name, fault);
                   }
                   *out = text;
               },
               what)
            ->type_name(std::string_view(name) == "--lang" ? "LANG" : "REGION");
    }
    std::string historyFile;
    CLI::Option* historyOption =
        app.add_option("--history", historyFile, "the rank history database")->type_name("FILE");
    app.add_flag("--no-history", options.noHistory, "keep no history of this harvest")
        ->excludes(historyOption);
    app.add_flag("--resume", options.resume, "take up an interrupted --keywords run");
    app.add_flag("--list-engines", options.listEngines, "list the engine profiles and passes");

    if (const std::optional<int> code = cli::Parse(app, argc, argv)) {
        return code;
    }
    options.jsonLines = format == "jsonl";
    if (keywordOption->count() > 0) {
        options.keyword = keyword;
    }
    if (keywordsOption->count() > 0) {
        options.keywordsFile = keywordsFile;
    }
    if (outputOption->count() > 0 && output != "-") {
        options.output = output;
    }
    if (historyOption->count() > 0) {
        options.historyFile = historyFile;
    }
    if (enginesOption->count() > 0) {
        if (::access(enginesFile.c_str(), R_OK) != 0) {
            return cli::UsageError(app, "cannot read the engines file " + enginesFile);
        }
        options.enginesFile = enginesFile;
    }
    if (options.listEngines) {
        return std::nullopt;
    }
    if (app.count("--site") == 0 ||
        options.keyword.has_value() == options.keywordsFile.has_value()) {
        return cli::UsageError(app, "--site and one of --keyword and --keywords are required");
    }
    if (options.resume && (!options.keywordsFile || !options.output)) {
        return cli::UsageError(app, "--resume needs --keywords and an output file (--csv FILE)");
    }
    return std::nullopt;
}

}  // namespace harvest

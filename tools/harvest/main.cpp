// zorvane-harvest: one search run from the command line, with the same
// dispatch, passes and export as the Search and Export All buttons.

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/http_client.h"
#include "search/csv_export.h"
#include "search/file_replace.h"
#include "search/jsonl_export.h"
#include "search/profile_catalog.h"
#include "search/result_store.h"
#include "search/search_host.h"
#include "search/search_run.h"
#include "search/search_texts.h"
#include "search/site_selection.h"
#include "tools/harvest/fatal_signal.h"
#include "tools/harvest/keyword_list.h"
#include "util/program_folder.h"

namespace {

// The exit codes, as the usage lists them.
enum ExitCode : int {
    kExitRunEnded = 0,
    kExitWriteFailed = 1,
    kExitUsage = 2,
    kExitNoPage = 3,
    kExitSignalled = 4,
    kExitBlocked = 5,
};

// Set by Ctrl-C (interrupted) or by SIGTERM and SIGHUP (terminated), taken
// up at the next point where the window would handle its messages (idle
// slices of a download, progress events, every row, the wait before a
// retry).
std::atomic<bool> g_interrupted{false};
std::atomic<bool> g_terminated{false};
static_assert(std::atomic<bool>::is_always_lock_free, "used from a signal handler");

// Which of SIGINT, SIGTERM and SIGHUP came already, a bit each.
std::atomic<int> g_signalsSeen{0};
static_assert(std::atomic<int>::is_always_lock_free, "used from a signal handler");

void OnSignal(int signal) {
    const int bit = signal == SIGINT ? 1 : signal == SIGTERM ? 2 : 4;
    if ((g_signalsSeen.fetch_or(bit) & bit) != 0) {
        // A second one of the same ends the program at once, should a stop
        // not get through; whatever it was doing, its output's temporary
        // file goes with it.
        harvest::EndBySignal(signal);
    }
    (signal == SIGINT ? g_interrupted : g_terminated) = true;
}

// A day without a byte is no longer a slow server; the bound keeps the
// limit in milliseconds within an int.
constexpr double kLongestTimeoutSeconds = 86400;

// Buffers up to this size stay with the process between pages: a few copies
// of the largest page the fetcher accepts.
constexpr int kKeptBufferBytes = 64 * 1024 * 1024;

const char kUsage[] =
    "usage: zorvane-harvest --site SITE_TEXT --keyword KEYWORD [--max N] [--csv FILE]\n"
    "                       [--format csv|jsonl] [--engines FILE] [--timeout SECONDS]\n"
    "       zorvane-harvest --site SITE_TEXT --keywords LIST [--resume] [--max N]\n"
    "                       [--csv FILE] [--format csv|jsonl] [--engines FILE]\n"
    "                       [--timeout SECONDS]\n"
    "       zorvane-harvest --list-engines [--engines FILE]\n"
    "  Runs every engine pass whose name the site text holds (google, yahoo, live,\n"
    "  altavista, google backlinks) and every engine profile the site text selects,\n"
    "  as the Search button does (\"[name,...] URL\" runs only the named ones), and\n"
    "  writes the rows to FILE, or to standard output: comma-delimited text with a\n"
    "  header line, or with --format jsonl one JSON object per line (with the\n"
    "  snippet and the raw link where a profile gives them).\n"
    "  N is the item limit (0 or less: all). Standard error gets each page's URL\n"
    "  and one line of its outcome, and a summary line per search.\n"
    "  --timeout: a request that receives or sends nothing for SECONDS (1 to 86400,\n"
    "  default 60) fails, and the pass goes on as after any failed page.\n"
    "  --keywords LIST runs one search per line of LIST (UTF-8) with the same site\n"
    "  and limit into one output, with a Keyword column (field) added; the rows of\n"
    "  each keyword are written when it completes, and FILE.done records it, so\n"
    "  that --resume after an interruption skips the keywords already complete.\n"
    "  FILE.done names the list, site, format and limit it was written for:\n"
    "  --resume refuses one of another run, or a damaged one. A run holds FILE\n"
    "  locked; a second one on it ends at once.\n"
    "  Profiles: built in, then engines.json beside the program, then FILE (default\n"
    "  ~/.config/zorvane/engines.json); a profile named like an earlier one replaces it.\n"
    "  Ctrl-C, SIGTERM and SIGHUP stop the run; the rows harvested so far are\n"
    "  still written. A second one of the same signal ends the program at once,\n"
    "  without leaving a temporary file.\n"
    "exit codes:\n"
    "  0  the run ended (also when stopped with Ctrl-C)\n"
    "  1  the rows could not be written (FILE is opened before the first request),\n"
    "     or a list could not start: LIST unreadable, FILE locked by another run,\n"
    "     a journal --resume refuses\n"
    "  2  bad arguments, or a site text that runs no engine pass (nothing requested)\n"
    "  3  pages were requested and not one could be fetched (with --keywords: for\n"
    "     at least one keyword; the others ran)\n"
    "  4  stopped by SIGTERM or SIGHUP; the rows so far were written\n"
    "  5  an engine refused to answer (blocked: HTTP 403/429/503, a CAPTCHA page...);\n"
    "     the rows so far were written\n";

// Standard error holds, per page, the URL line when the request starts and
// one outcome line when the page is done (the item count, or what went
// wrong and what comes next), and the completion text between them only for
// a page whose reading takes long; each run ends with a summary line. The
// window's texts that change with every row or repeat after every page
// would otherwise be tens of thousands of lines.
class CommandLineHost final : public search::SearchHost {
public:
    CommandLineHost(std::string siteText, std::string keyword, double maxItems)
        : siteText_(std::move(siteText)), keyword_(std::move(keyword)), maxItems_(maxItems) {}
    ~CommandLineHost() override { FlushStatus(); }
    CommandLineHost(const CommandLineHost&) = delete;
    CommandLineHost& operator=(const CommandLineHost&) = delete;

    void attach(net::HttpClient& http) { http_ = &http; }
    // A million rows and more: held compactly.
    const search::ResultStore& rows() const { return rows_; }
    bool terminated() const { return terminated_; }

    void setKeyword(std::string keyword) { keyword_ = std::move(keyword); }

    std::string keyword() override { return keyword_; }
    double maxItems() override { return maxItems_; }
    std::string siteText() override { return siteText_; }
    bool stopRequested() override { return stop_; }
    void setStopRequested(bool stop) override { stop_ = stop; }
    std::size_t rowCount() override { return rows_.size(); }
    void appendRow(search::ResultRow row) override { rows_.append(row); }
    // Every run starts by clearing the rows: its clock starts here.
    void clearRows() override {
        rows_.clear();
        runStart_ = Clock::now();
    }
    void setMainStatus(const std::string& text) override {
        if (text.empty()) {
            return;
        }
        // A new request: the page before it is done. The URL goes out at
        // once, so a slow server shows which page it holds up.
        if (text.starts_with(search::texts::kGettingUrl)) {
            FlushOutcome();
            pending_ += text;
            pending_ += '\n';
            WritePending();
            return;
        }
        if (text == search::texts::kPageDone) {
            pageDone_ = true;
            pageDoneSince_ = Clock::now();
            return;
        }
        // The Stop and the download or reading it ends say the same in two
        // spellings; the page's line says it once, in the spelling for
        // where the page was: broken off, or downloaded.
        if (IsStopText(text)) {
            if (std::any_of(outcome_.begin(), outcome_.end(), IsStopText)) {
                return;
            }
            AddOutcome(std::string(pageDone_ ? search::texts::kStoppedAfterDownload
                                             : search::texts::kStopped));
            return;
        }
        AddOutcome(text);
    }

    // The count changes with every row; only the count at the end of a page
    // is written, in its outcome line.
    void setSecondStatus(const std::string& text) override { itemCount_ = text; }
    void setGaugeMax(std::int64_t max) override { gaugeMax_ = max; }
    std::int64_t gaugeMax() override { return gaugeMax_; }
    void setGaugeValue(std::int64_t) override {}
    void processEvents() override {
        const bool interrupted = g_interrupted.exchange(false);
        const bool terminated = g_terminated.exchange(false);
        if ((interrupted || terminated) && http_ != nullptr) {
            // Only a stop that ends a run makes the run a stopped one; a
            // signal after the last page leaves the rows complete.
            terminated_ = terminated_ || terminated;
            search::StopSearch(*this, *http_);
        }
        // A failure and the wait before the retry come together; the wait
        // itself must not hide them.
        if (!outcome_.empty() && Clock::now() - outcomeSince_ >= kOutcomeGatherTime) {
            FlushOutcome();
        }
        // A page that takes long to read says it has arrived, as the window
        // does, so the wait is not taken for a hung server.
        if (pageDone_ && !readingShown_ && outcome_.empty() &&
            Clock::now() - pageDoneSince_ >= kOutcomeGatherTime) {
            pending_ += search::texts::kPageDone;
            pending_ += '\n';
            readingShown_ = true;
            WritePending();
        }
    }

    // The last page's outcome, then "N rows from M pages in T s; K pages
    // failed", after label when there is one.
    void finishRun(const search::RunSummary& summary, const std::string& label = {}) {
        FlushOutcome();
        const double seconds = std::chrono::duration<double>(Clock::now() - runStart_).count();
        char elapsed[32];
        std::snprintf(elapsed, sizeof elapsed, "%.1f", seconds);
        pending_ += label + Counted(static_cast<std::int64_t>(rows_.size()), "row") + " from " +
                    Counted(summary.pagesFetched, "page") + " in " + elapsed + " s; " +
                    Counted(summary.pagesFailed, "page") + " failed\n";
        WritePending();
    }

    // Writes what is known of the page so far, as when the run ends.
    void FlushStatus() {
        FlushOutcome();
        WritePending();
    }

private:
    using Clock = std::chrono::steady_clock;
    // The texts of one page that come within this time share its line.
    static constexpr auto kOutcomeGatherTime = std::chrono::milliseconds(100);
    // A page says two or three things; a line is never longer than this many.
    static constexpr std::size_t kMaxOutcomeTexts = 8;

    // Writes the status lines not yet written; a closed standard error must
    // not stop the harvest.
    void WritePending() {
        for (std::size_t done = 0; done < pending_.size();) {
            const ssize_t n =
                ::write(STDERR_FILENO, pending_.data() + done, pending_.size() - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            done += static_cast<std::size_t>(n);
        }
        pending_.clear();
    }

    void AddOutcome(const std::string& text) {
        if (outcome_.empty()) {
            outcomeSince_ = Clock::now();
        }
        if (outcome_.empty() || outcome_.back() != text) {
            outcome_.push_back(text);
        }
        if (outcome_.size() >= kMaxOutcomeTexts) {
            FlushOutcome();
        }
    }

    static bool IsStopText(const std::string& text) {
        return text == search::texts::kStopped || text == search::texts::kStoppedAfterDownload;
    }

    static std::string Counted(std::int64_t n, const char* noun) {
        return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
    }

    // One line for what the page since the last URL line came to: the item
    // count when it was read, then what else was said about it.
    void FlushOutcome() {
        if (!pageDone_ && outcome_.empty()) {
            return;
        }
        std::string line = pageDone_ ? itemCount_ : std::string();
        for (const std::string& text : outcome_) {
            line += line.empty() ? text : "; " + text;
        }
        pending_ += line;
        pending_ += '\n';
        pageDone_ = false;
        readingShown_ = false;
        outcome_.clear();
        WritePending();
    }

    std::string siteText_;
    std::string keyword_;
    double maxItems_;
    bool stop_ = false;
    bool terminated_ = false;
    search::ResultStore rows_;
    std::string itemCount_ = search::texts::ItemCount(0);
    bool pageDone_ = false;
    Clock::time_point pageDoneSince_;
    bool readingShown_ = false;
    std::vector<std::string> outcome_;
    Clock::time_point outcomeSince_;
    Clock::time_point runStart_ = Clock::now();
    std::int64_t gaugeMax_ = 100;
    net::HttpClient* http_ = nullptr;
    std::string pending_;
};

bool ParseMax(const char* text, double& out) {
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0') {
        return false;
    }
    out = static_cast<double>(v);
    return true;
}

int BadArguments(const char* why) {
    std::fprintf(stderr, "zorvane-harvest: %s\n%s", why, kUsage);
    return kExitUsage;
}

// Every profile the run can select, with where it came from; the built-in
// passes first, as the site box shows them.
void ListEngines(const std::vector<search::ProfileDefinition>& profiles) {
    for (const char* pass : {"google", "yahoo", "live", "altavista", "google backlinks"}) {
        const bool replaced =
            std::any_of(profiles.begin(), profiles.end(),
                        [pass](const search::ProfileDefinition& p) { return p.name == pass; });
        if (!replaced) {
            std::printf("%s\tselected by \"%s\"\tbuilt-in pass\n", pass, pass);
        }
    }
    for (const search::ProfileDefinition& profile : profiles) {
        std::printf("%s\tselected by \"%s\"\t%s\n", profile.name.c_str(), profile.select.c_str(),
                    profile.origin.c_str());
    }
}

// What the command line asked for.
struct Options {
    const char* site = nullptr;
    const char* keyword = nullptr;
    const char* keywordsFile = nullptr;
    const char* output = nullptr;
    const char* enginesFile = nullptr;
    bool jsonLines = false;
    bool listEngines = false;
    bool resume = false;
    double maxItems = 0;
    // The client's no-progress limit; 0 keeps its default.
    int timeoutSeconds = 0;
};

// Parses the arguments into options; a usage exit code when they are bad,
// kExitRunEnded after --help, -1 to go on.
int ParseArguments(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return kExitRunEnded;
        }
        if (arg == "--list-engines" || arg == "--resume") {
            (arg == "--resume" ? options.resume : options.listEngines) = true;
            continue;
        }
        if (i + 1 >= argc) {
            return BadArguments(("missing value or unknown option: " + arg).c_str());
        }
        const char* value = argv[++i];
        if (arg == "--site") {
            options.site = value;
        } else if (arg == "--keyword") {
            options.keyword = value;
        } else if (arg == "--keywords") {
            options.keywordsFile = value;
        } else if (arg == "--csv") {
            options.output = value;
        } else if (arg == "--engines") {
            options.enginesFile = value;
        } else if (arg == "--format") {
            if (std::string_view(value) != "csv" && std::string_view(value) != "jsonl") {
                return BadArguments("--format is csv or jsonl");
            }
            options.jsonLines = std::string_view(value) == "jsonl";
        } else if (arg == "--timeout") {
            double seconds = 0;
            if (!ParseMax(value, seconds) || seconds < 1 || seconds > kLongestTimeoutSeconds) {
                return BadArguments("--timeout needs a whole number of seconds from 1 to 86400");
            }
            options.timeoutSeconds = static_cast<int>(seconds);
        } else if (arg == "--max") {
            if (!ParseMax(value, options.maxItems)) {
                return BadArguments("--max needs a whole number");
            }
        } else {
            return BadArguments(("unknown option: " + arg).c_str());
        }
    }
    if (options.enginesFile != nullptr && ::access(options.enginesFile, R_OK) != 0) {
        return BadArguments(
            (std::string("cannot read the engines file ") + options.enginesFile).c_str());
    }
    if (options.listEngines) {
        return -1;
    }
    if (options.site == nullptr ||
        (options.keyword == nullptr) == (options.keywordsFile == nullptr)) {
        return BadArguments("--site and one of --keyword and --keywords are required");
    }
    if (options.resume && (options.keywordsFile == nullptr || options.output == nullptr)) {
        return BadArguments("--resume needs --keywords and an output file (--csv FILE)");
    }
    return -1;
}

// The exit code a run's outcome gives.
int RunStatus(const CommandLineHost& host, const search::RunSummary& summary) {
    if (host.terminated()) {
        return kExitSignalled;
    }
    if (summary.blocked) {
        return kExitBlocked;
    }
    if (summary.pagesFetched == 0 && summary.pagesFailed > 0) {
        return kExitNoPage;
    }
    return kExitRunEnded;
}

bool WriteToStandardOutput(std::string_view piece) {
    return std::fwrite(piece.data(), 1, piece.size(), stdout) == piece.size();
}

// Writes a run's rows, as pieces, to their output.
using RowProducer = std::function<bool(const search::PieceWriter&)>;
// Takes the rows into the output file; throws std::runtime_error on failure.
using RowFileWriter = std::function<void(const RowProducer&)>;

// The rows to the file when there is one, else to standard output. False,
// with the reason on standard error, when they could not be written.
bool Deliver(const RowProducer& rows, const RowFileWriter& toFile) {
    try {
        if (toFile) {
            toFile(rows);
        } else if (!rows(WriteToStandardOutput) || std::fflush(stdout) != 0) {
            std::fprintf(stderr, "zorvane-harvest: cannot write the rows to standard output\n");
            return false;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zorvane-harvest: %s\n", e.what());
        return false;
    }
    return true;
}

// One keyword: the rows go out once the run has ended, into an output file
// made before the first request, so that one that cannot be written costs
// no harvest.
int RunOneKeyword(const Options& options, CommandLineHost& host, search::SearchContext& ctx) {
    std::optional<search::FileReplacement> file;
    try {
        if (options.output != nullptr) {
            file.emplace(options.output);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zorvane-harvest: %s\n", e.what());
        return kExitWriteFailed;
    }

    int status = kExitRunEnded;
    try {
        const search::RunSummary summary = search::SearchRun(ctx);
        host.finishRun(summary);
        status = RunStatus(host, summary);
    } catch (const std::exception& e) {
        host.FlushStatus();
        // The rows harvested before the failure are still written below.
        std::fprintf(stderr, "zorvane-harvest: %s\n", e.what());
        status = kExitWriteFailed;
    }

    const auto writeRows = [&options, &host](const search::PieceWriter& write) {
        return options.jsonLines ? search::WriteJsonLines(host.rows(), write)
                                 : search::WriteExport(host.rows(), write);
    };
    RowFileWriter toFile;
    if (file) {
        toFile = [&file](const RowProducer& rows) { file->commit(rows); };
    }
    return Deliver(writeRows, toFile) ? status : kExitWriteFailed;
}

// A keyword list: one run per keyword, the rows of each appended as it
// completes. A keyword whose every page failed is reported and the list goes
// on; a stop or a block ends the list (a blocked engine would refuse the
// next keyword too).
int RunKeywordList(const Options& options, CommandLineHost& host, search::SearchContext& ctx) {
    std::vector<std::string> keywords;
    std::unique_ptr<harvest::KeywordOutput> output;
    const std::string header = options.jsonLines ? "" : search::KeywordExportHeader();
    try {
        keywords = harvest::ReadKeywordList(options.keywordsFile);
        if (options.output != nullptr) {
            const harvest::JournalOwner owner = harvest::MakeJournalOwner(
                keywords, options.jsonLines ? "jsonl" : "csv", options.site, options.maxItems);
            output = std::make_unique<harvest::KeywordOutput>(options.output, header, owner,
                                                              options.resume);
        } else if (!WriteToStandardOutput(header)) {
            return kExitWriteFailed;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zorvane-harvest: %s\n", e.what());
        return kExitWriteFailed;
    }

    int status = kExitRunEnded;
    for (const std::string& keyword : keywords) {
        if (output && output->done().contains(keyword)) {
            continue;
        }
        host.setKeyword(keyword);
        search::RunSummary summary;
        try {
            summary = search::SearchRun(ctx);
            host.finishRun(summary, "\"" + keyword + "\": ");
        } catch (const std::exception& e) {
            host.FlushStatus();
            std::fprintf(stderr, "zorvane-harvest: %s\n", e.what());
            return kExitWriteFailed;
        }
        const int keywordStatus = RunStatus(host, summary);
        const bool stopped = host.stopRequested();
        const bool complete = !stopped && keywordStatus == kExitRunEnded;
        if (keywordStatus == kExitNoPage) {
            std::fprintf(stderr, "zorvane-harvest: no page could be fetched for \"%s\"\n",
                         keyword.c_str());
            status = kExitNoPage;
            continue;
        }
        const auto writeRows = [&options, &host, &keyword](const search::PieceWriter& write) {
            return options.jsonLines ? search::WriteJsonLines(host.rows(), write, keyword)
                                     : search::WriteKeywordExportRows(host.rows(), keyword, write);
        };
        RowFileWriter toFile;
        if (output) {
            toFile = [&output, &keyword, complete](const RowProducer& rows) {
                output->append(keyword, complete, rows);
            };
        }
        if (!Deliver(writeRows, toFile)) {
            return kExitWriteFailed;
        }
        if (!complete) {
            return keywordStatus;
        }
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (const int exit = ParseArguments(argc, argv, options); exit >= 0) {
        return exit;
    }
    // A broken file is named with the place of the fault and skipped; the
    // run goes on with the profiles that did load, as the window does.
    const search::ProfileCatalog catalog = search::LoadProfileCatalog(
        util::ProgramFolder(),
        options.enginesFile != nullptr ? options.enginesFile : search::UserProfilesPath());
    for (const std::string& error : catalog.errors) {
        std::fprintf(stderr, "zorvane-harvest: %s\n", error.c_str());
    }
    if (options.listEngines) {
        ListEngines(catalog.profiles);
        return kExitRunEnded;
    }
    // A site text that selects nothing would make an empty output look like
    // a search that found nothing.
    if (const search::SiteSelection selection =
            search::SelectForSiteLine(options.site, catalog.profiles);
        selection.steps.empty()) {
        std::fprintf(stderr, "zorvane-harvest: %s\n",
                     search::texts::NoEnginePass(selection.unknownNames).c_str());
        return kExitUsage;
    }

    // Every page passes through a few buffers of its size; keeping freed
    // memory instead of handing it back to the system after each page saves
    // faulting the same pages in again for the next one.
    mallopt(M_MMAP_THRESHOLD, kKeptBufferBytes);
    mallopt(M_TRIM_THRESHOLD, kKeptBufferBytes);

    struct sigaction action {};
    action.sa_handler = OnSignal;
    action.sa_flags = SA_RESTART;
    // None of them cuts into the clean-up of another.
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&action.sa_mask, signal);
    }
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
    // A reader that went away shows as a failed write, handled where it happens.
    std::signal(SIGPIPE, SIG_IGN);

    CommandLineHost host(options.site, options.keyword != nullptr ? options.keyword : "",
                         options.maxItems);
    net::HttpClient http;
    if (options.timeoutSeconds > 0) {
        http.timing.noProgressLimitMs = options.timeoutSeconds * 1000;
    }
    host.attach(http);
    search::AttachHarvesterClient(http, host);
    const search::EngineSettings settings;
    search::SearchContext ctx{host, http, settings, &catalog.profiles};
    return options.keywordsFile != nullptr ? RunKeywordList(options, host, ctx)
                                           : RunOneKeyword(options, host, ctx);
}

// zorvane-harvest: one search run from the command line, with the same
// dispatch, passes and export as the Search and Export All buttons.

#include <malloc.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>

#include "net/http_client.h"
#include "search/csv_export.h"
#include "search/result_store.h"
#include "search/search_host.h"
#include "search/search_run.h"

namespace {

// The exit codes, as the usage lists them.
enum ExitCode : int {
    kExitRunEnded = 0,
    kExitWriteFailed = 1,
    kExitUsage = 2,
    kExitNoPage = 3,
    kExitSignalled = 4,
};

// Set by Ctrl-C (interrupted) or by SIGTERM and SIGHUP (terminated), taken
// up at the next point where the window would handle its messages (idle
// slices of a download, progress events, every row, the wait before a
// retry).
std::atomic<bool> g_interrupted{false};
std::atomic<bool> g_terminated{false};
static_assert(std::atomic<bool>::is_always_lock_free, "used from a signal handler");

void OnSignal(int signal) {
    (signal == SIGINT ? g_interrupted : g_terminated) = true;
}

// Buffers up to this size stay with the process between pages: a few copies
// of the largest page the fetcher accepts.
constexpr int kKeptBufferBytes = 64 * 1024 * 1024;

const char kUsage[] =
    "usage: zorvane-harvest --site SITE_TEXT --keyword KEYWORD [--max N] [--csv FILE]\n"
    "  Runs every engine pass whose name the site text holds (google, yahoo, live,\n"
    "  altavista, google backlinks), as the Search button does, and writes the rows\n"
    "  as comma-delimited text with a header line to FILE, or to standard output.\n"
    "  N is the item limit (0 or less: all). Status texts go to standard error.\n"
    "  Ctrl-C, SIGTERM and SIGHUP stop the run; the rows harvested so far are\n"
    "  still written. A second one of the same signal ends the program at once.\n"
    "exit codes:\n"
    "  0  the run ended (also when stopped with Ctrl-C)\n"
    "  1  the rows could not be written\n"
    "  2  bad arguments\n"
    "  3  pages were requested and not one could be fetched\n"
    "  4  stopped by SIGTERM or SIGHUP; the rows so far were written\n";

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

    std::string keyword() override { return keyword_; }
    double maxItems() override { return maxItems_; }
    std::string siteText() override { return siteText_; }
    bool stopRequested() override { return stop_; }
    void setStopRequested(bool stop) override { stop_ = stop; }
    std::size_t rowCount() override { return rows_.size(); }
    void appendRow(search::ResultRow row) override { rows_.append(row); }
    void clearRows() override { rows_.clear(); }
    // The main text announces every wait and every outcome: it goes out at
    // once, after the count texts before it.
    void setMainStatus(const std::string& text) override {
        Queue(mainStatus_, text);
        FlushStatus();
    }
    // The count text changes with every row, a hundred times a page within
    // a few milliseconds: those lines go out together.
    void setSecondStatus(const std::string& text) override {
        Queue(secondStatus_, text);
        if (pending_.size() >= kMaxPendingStatusBytes) {
            FlushStatus();
        }
    }
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
        if (!pending_.empty() && Clock::now() - lastFlush_ >= kStatusFlushInterval) {
            FlushStatus();
        }
    }

    // Writes the status lines not yet written; a closed standard error must
    // not stop the harvest.
    void FlushStatus() {
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
        lastFlush_ = Clock::now();
    }

private:
    using Clock = std::chrono::steady_clock;
    // Count lines wait at most this long; a reader sees no lag below it.
    static constexpr auto kStatusFlushInterval = std::chrono::milliseconds(100);
    // ... and never pile up beyond this.
    static constexpr std::size_t kMaxPendingStatusBytes = 64 * 1024;

    // Every text is written once, in order, when it differs from the last.
    void Queue(std::string& shown, const std::string& text) {
        if (text != shown) {
            shown = text;
            pending_ += text;
            pending_ += '\n';
        }
    }

    std::string siteText_;
    std::string keyword_;
    double maxItems_;
    bool stop_ = false;
    bool terminated_ = false;
    search::ResultStore rows_;
    std::string mainStatus_;
    std::string secondStatus_ = "0 item listed";
    std::int64_t gaugeMax_ = 100;
    net::HttpClient* http_ = nullptr;
    std::string pending_;
    Clock::time_point lastFlush_ = Clock::now();
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

}  // namespace

int main(int argc, char** argv) {
    const char* site = nullptr;
    const char* keyword = nullptr;
    const char* csv = nullptr;
    double maxItems = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return kExitRunEnded;
        }
        if (i + 1 >= argc) {
            return BadArguments(("missing value or unknown option: " + arg).c_str());
        }
        const char* value = argv[++i];
        if (arg == "--site") {
            site = value;
        } else if (arg == "--keyword") {
            keyword = value;
        } else if (arg == "--csv") {
            csv = value;
        } else if (arg == "--max") {
            if (!ParseMax(value, maxItems)) {
                return BadArguments("--max needs a whole number");
            }
        } else {
            return BadArguments(("unknown option: " + arg).c_str());
        }
    }
    if (site == nullptr || keyword == nullptr) {
        return BadArguments("--site and --keyword are required");
    }

    // Every page passes through a few buffers of its size; keeping freed
    // memory instead of handing it back to the system after each page saves
    // faulting the same pages in again for the next one.
    mallopt(M_MMAP_THRESHOLD, kKeptBufferBytes);
    mallopt(M_TRIM_THRESHOLD, kKeptBufferBytes);

    struct sigaction action {};
    action.sa_handler = OnSignal;
    // A second signal ends the program at once, should a stop not get through.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
    // A reader that went away shows as a failed write, handled where it happens.
    std::signal(SIGPIPE, SIG_IGN);

    CommandLineHost host(site, keyword, maxItems);
    net::HttpClient http;
    host.attach(http);
    search::AttachHarvesterClient(http, host);
    const search::EngineSettings settings;
    search::SearchContext ctx{host, http, settings};

    int status = kExitRunEnded;
    try {
        const search::RunSummary summary = search::SearchRun(ctx);
        host.FlushStatus();
        if (host.terminated()) {
            status = kExitSignalled;
        } else if (summary.pagesFetched == 0 && summary.pagesFailed > 0) {
            status = kExitNoPage;
        }
    } catch (const std::exception& e) {
        host.FlushStatus();
        // The rows harvested before the failure are still written below.
        std::fprintf(stderr, "zorvane-harvest: %s\n", e.what());
        status = kExitWriteFailed;
    }

    try {
        if (csv != nullptr) {
            search::ExportResults(csv, host.rows());
        } else {
            const bool written = search::WriteExport(host.rows(), [](std::string_view piece) {
                return std::fwrite(piece.data(), 1, piece.size(), stdout) == piece.size();
            });
            if (!written || std::fflush(stdout) != 0) {
                std::fprintf(stderr, "zorvane-harvest: cannot write the rows to standard output\n");
                return kExitWriteFailed;
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zorvane-harvest: %s\n", e.what());
        return kExitWriteFailed;
    }
    return status;
}

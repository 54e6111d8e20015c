#include "tools/harvest/command_line_host.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "search/search_texts.h"
#include "tools/harvest/stop_signals.h"

namespace harvest {
namespace {

bool IsStopText(const std::string& text) {
    return text == search::texts::kStopped || text == search::texts::kStoppedAfterDownload;
}

std::string Counted(std::int64_t n, const char* noun) {
    return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

}  // namespace

void CommandLineHost::setMainStatus(const std::string& text) {
    if (text.empty()) {
        return;
    }
    // A new request: the page before it is done. The URL goes out at
    // once, so a slow server shows which page it holds up.
    if (text.starts_with(search::texts::kGettingUrl)) {
        // Every row of the page before has arrived: the history takes them
        // before the line goes out, so a run killed after it keeps them.
        if (history_ != nullptr) {
            history_->pageDone();
        }
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

void CommandLineHost::setPageNotice(const std::string& text) {
    if (!text.empty()) {
        AddOutcome(text);
    }
}

void CommandLineHost::processEvents() {
    const StopSignals signals = TakeStopSignals();
    if ((signals.interrupted || signals.terminated) && http_ != nullptr) {
        // Only a stop that ends a run makes the run a stopped one; a
        // signal after the last page leaves the rows complete.
        terminated_ = terminated_ || signals.terminated;
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

void CommandLineHost::finishRun(const search::RunSummary& summary, const std::string& label) {
    FlushOutcome();
    const double seconds = std::chrono::duration<double>(Clock::now() - runStart_).count();
    char elapsed[32];
    std::snprintf(elapsed, sizeof elapsed, "%.1f", seconds);
    pending_ += label + Counted(static_cast<std::int64_t>(rows_.size()), "row") + " from " +
                Counted(summary.pagesFetched, "page") + " in " + elapsed + " s; " +
                Counted(summary.pagesFailed, "page") + " failed\n";
    WritePending();
}

void CommandLineHost::FlushStatus() {
    FlushOutcome();
    WritePending();
}

// A closed standard error must not stop the harvest.
void CommandLineHost::WritePending() {
    for (std::size_t done = 0; done < pending_.size();) {
        const ssize_t n = ::write(STDERR_FILENO, pending_.data() + done, pending_.size() - done);
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

void CommandLineHost::AddOutcome(const std::string& text) {
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

// One line for what the page since the last URL line came to: the item
// count when it was read, then what else was said about it.
void CommandLineHost::FlushOutcome() {
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

}  // namespace harvest

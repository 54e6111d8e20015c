#include "tools/harvest/history_recorder.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <exception>

#include "search/engines.h"
#include "util/program_version.h"
#include "util/utc_clock.h"

namespace harvest {
namespace {

// The row's number as the grid shows it; the count of rows so far for one
// whose text is not a number, so that positions stay distinct.
std::int64_t PositionOf(const std::string& text, std::int64_t rowsBefore) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value <= rowsBefore) {
        return rowsBefore + 1;
    }
    return value;
}

// Far beyond any run, and exactly representable in both types.
constexpr double kLargestItemLimit = 1e15;

}  // namespace

std::string StepNames(const search::SiteSelection& selection) {
    std::string names;
    for (const search::SelectedStep& step : selection.steps) {
        names += names.empty() ? "" : ", ";
        names += step.kind == search::SelectedStep::Kind::BuiltInPass
                     ? std::string(search::ProfileOf(step.engine).dispatchText)
                     : step.profile->name;
    }
    return names;
}

std::int64_t ItemLimitOf(double maxItems) {
    return maxItems > 0 ? static_cast<std::int64_t>(std::min(maxItems, kLargestItemLimit)) : 0;
}

HistoryRecorder::HistoryRecorder(const std::optional<std::string>& path, std::string siteLine,
                                 std::string steps, std::int64_t itemLimit)
    : siteLine_(std::move(siteLine)), steps_(std::move(steps)), itemLimit_(itemLimit) {
    if (!path) {
        return;
    }
    if (path->empty()) {
        std::fprintf(stderr,
                     "zorvane-harvest: no history: neither XDG_DATA_HOME nor HOME names a "
                     "folder (--history FILE names one)\n");
        return;
    }
    try {
        store_ = std::make_unique<history::HistoryStore>(*path);
    } catch (const std::exception& e) {
        fail(e);
    }
}

void HistoryRecorder::fail(const std::exception& e) {
    std::fprintf(stderr, "zorvane-harvest: %s; harvesting on without history\n", e.what());
    store_.reset();
    run_.reset();
    page_.clear();
}

void HistoryRecorder::beginRun(const std::string& keyword) {
    run_.reset();
    page_.clear();
    rowsInRun_ = 0;
    if (!store_) {
        return;
    }
    try {
        run_ = store_->beginRun({.keyword = keyword,
                                 .siteLine = siteLine_,
                                 .steps = steps_,
                                 .itemLimit = itemLimit_,
                                 .started = util::UtcNow(),
                                 .version = std::string(util::ProgramVersion)});
    } catch (const std::exception& e) {
        fail(e);
    }
}

void HistoryRecorder::addRow(const search::ResultRow& row) {
    if (!run_) {
        return;
    }
    page_.push_back({.position = PositionOf(row.pos, rowsInRun_),
                     .anchor = row.anchor,
                     .url = row.url,
                     .engineSite = row.engineSite,
                     .snippet = row.snippet,
                     .displayUrl = row.displayUrl});
    rowsInRun_ = page_.back().position;
    if (page_.size() >= kMaxRowsPerTransaction) {
        pageDone();
    }
}

void HistoryRecorder::pageDone() {
    if (!run_ || page_.empty()) {
        return;
    }
    try {
        store_->addPage(*run_, page_);
        page_.clear();
    } catch (const std::exception& e) {
        fail(e);
    }
}

void HistoryRecorder::finishRun(history::Outcome outcome) {
    pageDone();
    if (!run_) {
        return;
    }
    try {
        store_->finishRun(*run_, outcome, util::UtcNow());
    } catch (const std::exception& e) {
        fail(e);
    }
    run_.reset();
}

}  // namespace harvest

#include "history/run_recorder.h"

#include <algorithm>
#include <charconv>

#include "search/engines.h"
#include "util/program_version.h"
#include "util/utc_clock.h"

namespace history {
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

RunRecorder::RunRecorder(std::unique_ptr<HistoryStore> store, FailureReport report)
    : store_(std::move(store)), report_(std::move(report)) {}

void RunRecorder::fail(const std::exception& e) {
    store_.reset();
    run_.reset();
    page_.clear();
    report_(e);
}

void RunRecorder::beginRun(const std::string& keyword, const RunSetting& setting) {
    run_.reset();
    page_.clear();
    rowsInRun_ = 0;
    if (!store_) {
        return;
    }
    try {
        run_ = store_->beginRun({.keyword = keyword,
                                 .siteLine = setting.siteLine,
                                 .steps = setting.steps,
                                 .itemLimit = setting.itemLimit,
                                 .started = util::UtcNow(),
                                 .version = std::string(util::ProgramVersion)});
    } catch (const std::exception& e) {
        fail(e);
    }
}

void RunRecorder::addRow(const search::ResultRow& row) {
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

void RunRecorder::pageDone() {
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

void RunRecorder::finishRun(Outcome outcome) {
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

}  // namespace history

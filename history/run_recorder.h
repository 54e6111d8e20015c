// A front end's search runs into the rank history, fed by the search host
// events both front ends see: a row appended, a new request started, the run
// ended. The history is a by-product: its first failure is reported once
// and the rest of the run, its rows and its export go on without it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "history/history_store.h"
#include "search/result_row.h"
#include "search/site_selection.h"

namespace history {

// The passes and profiles a selection runs, by name, separated by ", ".
std::string StepNames(const search::SiteSelection& selection);

// The item limit as the history keeps it: 0 for none.
std::int64_t ItemLimitOf(double maxItems);

// What a run is stored with, besides its keyword and date.
struct RunSetting {
    std::string siteLine;
    std::string steps;
    std::int64_t itemLimit = 0;
};

class RunRecorder {
public:
    // Hears the failure that ends the recording, once.
    using FailureReport = std::function<void(const std::exception&)>;

    // store: nothing for runs without history.
    RunRecorder(std::unique_ptr<HistoryStore> store, FailureReport report);

    bool recording() const { return store_ != nullptr; }

    // A new run of keyword, dated by util::UtcNow.
    void beginRun(const std::string& keyword, const RunSetting& setting);
    // A row of the current run, held until its page is complete.
    void addRow(const search::ResultRow& row);
    // The rows held so far are a page: a new request starts, or the run ends.
    void pageDone();
    void finishRun(Outcome outcome);

private:
    // A page of one engine is at most a few hundred rows; a pass that never
    // starts a new request (a single huge page) still commits at least this
    // often, so that a killed run keeps most of what it found.
    static constexpr std::size_t kMaxRowsPerTransaction = 1000;

    void fail(const std::exception& e);

    std::unique_ptr<HistoryStore> store_;
    FailureReport report_;
    std::optional<std::int64_t> run_;
    std::vector<StoredRow> page_;
    std::int64_t rowsInRun_ = 0;
};

}  // namespace history

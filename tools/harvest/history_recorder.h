// The harvester's runs into the rank history. The history is a by-product:
// when it cannot be written (a damaged file, a full disk) that is said once
// on standard error and the harvest and its export go on without it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "history/history_store.h"
#include "search/result_row.h"
#include "search/site_selection.h"

namespace harvest {

// The passes and profiles a selection runs, by name, separated by ", ".
std::string StepNames(const search::SiteSelection& selection);

// The item limit as the history keeps it: 0 for none.
std::int64_t ItemLimitOf(double maxItems);

class HistoryRecorder {
public:
    // path: the database; nothing for a harvest without history. steps: the
    // passes and profiles the site line runs, as the run record names them.
    HistoryRecorder(const std::optional<std::string>& path, std::string siteLine, std::string steps,
                    std::int64_t itemLimit);

    // A new run of keyword, dated by util::UtcNow.
    void beginRun(const std::string& keyword);
    // A row of the current run, held until its page is complete.
    void addRow(const search::ResultRow& row);
    // The rows held so far are a page: a new request starts, or the run ends.
    void pageDone();
    void finishRun(history::Outcome outcome);

private:
    // A page of one engine is at most a few hundred rows; a pass that never
    // starts a new request (a single huge page) still commits at least this
    // often, so that a killed run keeps most of what it found.
    static constexpr std::size_t kMaxRowsPerTransaction = 1000;

    // Says the failure once and leaves the rest of the harvest without history.
    void fail(const std::exception& e);

    std::unique_ptr<history::HistoryStore> store_;
    std::string siteLine_;
    std::string steps_;
    std::int64_t itemLimit_;
    std::optional<std::int64_t> run_;
    std::vector<history::StoredRow> page_;
    std::int64_t rowsInRun_ = 0;
};

}  // namespace harvest

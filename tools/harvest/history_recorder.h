// The harvester's runs into the rank history, through the recorder the
// window uses too. The history is a by-product: when it cannot be written (a
// damaged file, a full disk) that is said once on standard error and the
// harvest and its export go on without it.
#pragma once

#include <optional>
#include <string>

#include "history/run_recorder.h"

namespace harvest {

class HistoryRecorder {
public:
    // path: the database; nothing for a harvest without history. setting:
    // what every run of this harvest is stored with.
    HistoryRecorder(const std::optional<std::string>& path, history::RunSetting setting);

    // A new run of keyword, dated by util::UtcNow.
    void beginRun(const std::string& keyword) { recorder_.beginRun(keyword, setting_); }
    // A row of the current run, held until its page is complete.
    void addRow(const search::ResultRow& row) { recorder_.addRow(row); }
    // The rows held so far are a page: a new request starts, or the run ends.
    void pageDone() { recorder_.pageDone(); }
    void finishRun(history::Outcome outcome) { recorder_.finishRun(outcome); }

private:
    history::RunSetting setting_;
    history::RunRecorder recorder_;
};

}  // namespace harvest

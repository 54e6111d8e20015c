#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>

#include "search/result_row.h"

namespace search {

// What a search run needs from its surroundings: the main window, the
// command-line harvester or a test. Inputs are read afresh at every call, so a
// change made by a nested handler during a run takes effect at the next read.
class SearchHost {
public:
    virtual ~SearchHost() = default;

    // The search bar: keyword, item limit (0 or less: all), engine site text.
    virtual std::string keyword() = 0;
    virtual double maxItems() = 0;
    virtual std::string siteText() = 0;

    virtual bool stopRequested() = 0;
    virtual void setStopRequested(bool stop) = 0;

    // The result list.
    virtual std::size_t rowCount() = 0;
    virtual void appendRow(ResultRow row) = 0;
    virtual void clearRows() = 0;

    // The status bar: main text, count text, download gauge.
    virtual void setMainStatus(const std::string& text) = 0;
    virtual void setSecondStatus(const std::string& text) = 0;
    virtual void setGaugeMax(std::int64_t max) = 0;
    virtual std::int64_t gaugeMax() = 0;
    virtual void setGaugeValue(std::int64_t value) = 0;
    // A line beside the status for what a page itself showed: one with
    // content in which the pass found no hit and no next link
    // (texts::UnreadablePage). Empty clears it; every run starts so.
    virtual void setPageNotice(const std::string& text) = 0;

    // Handles pending window messages (or, outside a window, whatever may
    // request a stop).
    virtual void processEvents() = 0;

    // The clock of the wait before retrying a failed page. Tests put a clock
    // of their own here, so that waiting a minute takes no time.
    virtual std::chrono::steady_clock::time_point now() { return std::chrono::steady_clock::now(); }
    // Blocks for one slice of that wait.
    virtual void sleepFor(std::chrono::milliseconds duration) {
        std::this_thread::sleep_for(duration);
    }
};

}  // namespace search

// The harvester's side of a search run: the rows it keeps and the status
// texts it writes to standard error.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "net/http_client.h"
#include "search/result_store.h"
#include "search/search_host.h"
#include "search/search_run.h"
#include "search/search_texts.h"
#include "tools/harvest/history_recorder.h"

namespace harvest {

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

    // The client a signal disconnects.
    void attach(net::HttpClient& http) { http_ = &http; }
    // Where each row also goes, a page at a time.
    void attachHistory(HistoryRecorder& history) { history_ = &history; }
    // A million rows and more: held compactly.
    const search::ResultStore& rows() const { return rows_; }
    // Whether SIGTERM or SIGHUP stopped the run.
    bool terminated() const { return terminated_; }

    void setKeyword(std::string keyword) { keyword_ = std::move(keyword); }

    std::string keyword() override { return keyword_; }
    double maxItems() override { return maxItems_; }
    std::string siteText() override { return siteText_; }
    bool stopRequested() override { return stop_; }
    void setStopRequested(bool stop) override { stop_ = stop; }
    std::size_t rowCount() override { return rows_.size(); }
    void appendRow(search::ResultRow row) override {
        rows_.append(row);
        if (history_ != nullptr) {
            history_->addRow(row);
        }
    }
    // Every run starts by clearing the rows: its clock starts here.
    void clearRows() override {
        rows_.clear();
        runStart_ = Clock::now();
    }
    void setMainStatus(const std::string& text) override;
    // The count changes with every row; only the count at the end of a page
    // is written, in its outcome line.
    void setSecondStatus(const std::string& text) override { itemCount_ = text; }
    void setGaugeMax(std::int64_t max) override { gaugeMax_ = max; }
    std::int64_t gaugeMax() override { return gaugeMax_; }
    void setGaugeValue(std::int64_t) override {}
    // Part of the page's outcome line.
    void setPageNotice(const std::string& text) override;
    void processEvents() override;

    // The last page's outcome, then "N rows from M pages in T s; K pages
    // failed", after label when there is one.
    void finishRun(const search::RunSummary& summary, const std::string& label = {});

    // Writes what is known of the page so far, as when the run ends.
    void FlushStatus();

private:
    using Clock = std::chrono::steady_clock;
    // The texts of one page that come within this time share its line.
    static constexpr auto kOutcomeGatherTime = std::chrono::milliseconds(100);
    // A page says two or three things; a line is never longer than this many.
    static constexpr std::size_t kMaxOutcomeTexts = 8;

    void WritePending();
    void AddOutcome(const std::string& text);
    void FlushOutcome();

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
    HistoryRecorder* history_ = nullptr;
    std::string pending_;
};

}  // namespace harvest

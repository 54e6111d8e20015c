#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "search/search_host.h"

namespace search::testing {

// A search host that records what a run shows, for tests. onProcessEvents
// plays the part of a nested window handler (Stop, Delete, a site change).
// Its clock stands still but for sleepFor, which moves it on at once, so a
// wait of minutes takes no time.
class FakeHost : public SearchHost {
public:
    std::string keywordValue;
    double maxItemsValue = 0;
    std::string siteTextValue;
    bool stop = false;
    std::vector<ResultRow> rows;
    std::string mainStatus;
    std::string secondStatus;
    std::string pageNotice;
    std::vector<std::string> mainStatusHistory;
    // The clock reading of every main status text, beside mainStatusHistory.
    std::vector<std::chrono::milliseconds> mainStatusTimes;
    std::chrono::milliseconds clock{0};
    std::vector<std::chrono::milliseconds> sleeps;
    std::int64_t gaugeMaxValue = 100;
    std::int64_t gaugeValue = 0;
    int processEventsCalls = 0;
    std::function<void()> onProcessEvents;

    std::string keyword() override { return keywordValue; }
    double maxItems() override { return maxItemsValue; }
    std::string siteText() override { return siteTextValue; }
    bool stopRequested() override { return stop; }
    void setStopRequested(bool value) override { stop = value; }
    std::size_t rowCount() override { return rows.size(); }
    void appendRow(ResultRow row) override { rows.push_back(std::move(row)); }
    void clearRows() override { rows.clear(); }
    void setMainStatus(const std::string& text) override {
        mainStatus = text;
        mainStatusHistory.push_back(text);
        mainStatusTimes.push_back(clock);
    }
    void setSecondStatus(const std::string& text) override { secondStatus = text; }
    void setPageNotice(const std::string& text) override { pageNotice = text; }
    void setGaugeMax(std::int64_t max) override { gaugeMaxValue = max; }
    std::int64_t gaugeMax() override { return gaugeMaxValue; }
    void setGaugeValue(std::int64_t value) override { gaugeValue = value; }
    void processEvents() override {
        ++processEventsCalls;
        if (onProcessEvents) {
            onProcessEvents();
        }
    }
    std::chrono::steady_clock::time_point now() override {
        return std::chrono::steady_clock::time_point(clock);
    }
    void sleepFor(std::chrono::milliseconds duration) override {
        sleeps.push_back(duration);
        clock += duration;
    }

    std::vector<std::string> urls() const {
        std::vector<std::string> out;
        for (const ResultRow& row : rows) {
            out.push_back(row.url);
        }
        return out;
    }
};

}  // namespace search::testing

#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "search/search_host.h"

namespace testsupport {

// A search host with nothing behind it, for tests, benchmarks and fuzz
// targets that drive the scans and only care how many rows came out: the
// inputs are empty but for the engine site text, no stop is ever requested,
// and rows are counted, not kept. Derive to look at each row as it arrives.
class NullSearchHost : public search::SearchHost {
public:
    // siteText goes into every row, as the real hosts' does, so that a
    // benchmark also pays for copying it.
    explicit NullSearchHost(std::string siteText = {}) : siteText_(std::move(siteText)) {}

    std::size_t rows = 0;

    std::string keyword() override { return {}; }
    double maxItems() override { return 0; }
    std::string siteText() override { return siteText_; }
    bool stopRequested() override { return false; }
    void setStopRequested(bool) override {}
    std::size_t rowCount() override { return rows; }
    void appendRow(search::ResultRow) override { ++rows; }
    void clearRows() override { rows = 0; }
    void setMainStatus(const std::string&) override {}
    void setSecondStatus(const std::string&) override {}
    void setPageNotice(const std::string&) override {}
    void setGaugeMax(std::int64_t) override {}
    std::int64_t gaugeMax() override { return 0; }
    void setGaugeValue(std::int64_t) override {}
    void processEvents() override {}

private:
    std::string siteText_;
};

}  // namespace testsupport

#pragma once

#include "search/search_host.h"

namespace app {

class TfrmMain;

// The main window as the harvester sees it: the search bar's inputs read
// afresh at every call, the result grid, the status bar and the window's
// message queue.
class WindowSearchHost final : public search::SearchHost {
public:
    explicit WindowSearchHost(TfrmMain& window) : window_(window) {}

    std::string keyword() override;
    double maxItems() override;
    std::string siteText() override;

    bool stopRequested() override;
    void setStopRequested(bool stop) override;

    std::size_t rowCount() override;
    void appendRow(search::ResultRow row) override;
    void clearRows() override;

    void setMainStatus(const std::string& text) override;
    void setSecondStatus(const std::string& text) override;
    void setGaugeMax(std::int64_t max) override;
    std::int64_t gaugeMax() override;
    void setGaugeValue(std::int64_t value) override;

    void processEvents() override;
    std::string programFolder() override;

private:
    TfrmMain& window_;
};

}  // namespace app

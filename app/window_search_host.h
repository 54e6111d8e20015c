#pragma once

#include <QObject>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "search/search_host.h"

namespace history {
class RunRecorder;
}

namespace app {

class TfrmMain;

// The main window as the harvester sees it: the search bar's inputs read
// afresh at every call, the result grid, the status bar and the window's
// message queue.
//
// A run harvests rows far faster than a screen shows them, and drawing the
// grid and the status bar for every row took nearly all of a run's time. So
// during a run the rows and the status texts wait here and reach the window
// together, in one insert, at most once per paint interval, when pending
// messages are handled. Whatever could look at them sees no difference: the
// waiting rows and texts are published before input or a request to close
// reaches the window and before any of the window's handlers runs (TfrmMain
// connects them that way), calls from such a handler take effect at once,
// and the run's end publishes the rest.
class WindowSearchHost final : public QObject, public search::SearchHost {
public:
    using Clock = std::chrono::steady_clock;
    // Forty paints a second at most: the grid still follows a run at the
    // screen's pace, and drawing it takes a small share of the run.
    static constexpr std::chrono::milliseconds kPaintInterval{25};

    explicit WindowSearchHost(TfrmMain& window) : window_(window) {}

    // Holds the rows and texts of one run until the next paint; its end
    // publishes them, also when the run ends by an exception.
    class Run {
    public:
        explicit Run(WindowSearchHost& host);
        ~Run();
        Run(const Run&) = delete;
        Run& operator=(const Run&) = delete;

    private:
        WindowSearchHost& host_;
    };

    // The clock that spaces the paints; tests hold it still or move it on
    // at will.
    void setPaintClock(std::function<Clock::time_point()> clock) { paintClock_ = std::move(clock); }

    // Where each row also goes as it comes, a page at a time; nothing: no
    // history.
    void attachHistory(history::RunRecorder* recorder) { history_ = recorder; }

    // Hands the waiting rows and texts to the window.
    void publish();

    std::string keyword() override;
    double maxItems() override;
    std::string siteText() override;

    bool stopRequested() override;
    void setStopRequested(bool stop) override;

    // Counts the waiting rows too: the harvester numbers them on.
    std::size_t rowCount() override;
    void appendRow(search::ResultRow row) override;
    void clearRows() override;

    void setMainStatus(const std::string& text) override;
    void setSecondStatus(const std::string& text) override;
    void setGaugeMax(std::int64_t max) override;
    std::int64_t gaugeMax() override;
    void setGaugeValue(std::int64_t value) override;
    // Shown at once: it comes at most once a page.
    void setPageNotice(const std::string& text) override;

    void processEvents() override;

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // True for calls of the run itself; a handler running inside the run's
    // message handling acts on the window at once, as it always did.
    bool holding() const { return running_ && handlingMessages_ == 0; }
    bool anythingHeld() const;
    // The gauge takes every value at once and only its drawing waits.
    void holdGaugePaint();

    TfrmMain& window_;
    history::RunRecorder* history_ = nullptr;
    std::function<Clock::time_point()> paintClock_ = [] { return Clock::now(); };
    bool running_ = false;
    int handlingMessages_ = 0;
    Clock::time_point lastPublish_{};
    std::vector<search::ResultRow> heldRows_;
    std::optional<std::string> heldMainStatus_;
    std::optional<std::string> heldSecondStatus_;
    bool gaugePaintHeld_ = false;
};

}  // namespace app

// The window filling its grid against zorvane-harvest, both harvesting the
// same demo engine pages (100 hits each) over loopback: 10 000 and 100 000
// rows. The window is the real main window, shown on the offscreen platform
// so that every paint is drawn, with the engine in a process of its own as
// for zorvane-harvest.
//
// What is timed:
//   window          from the Search click until the run has returned and the
//                   events it left behind (the last paint) are handled; the
//                   window is built and shown before and destroyed after, each
//                   repetition in a fresh window.
//   zorvane-harvest the whole process, from spawn to exit: start-up, the same
//                   run, and the CSV file it writes at the end.
// Both print the median wall time of the repetitions and the ratio window /
// harvest, and beside it the CPU time each side spent (the window process
// during the run, the harvest process in all), which a busy machine disturbs
// less than wall time; the engine's own time is in neither.
//
// Also printed: the cost of one QApplication::processEvents() on the idle
// shown window (the run handles pending messages after every row, so that
// cost times the row count is a part of the window's time that no batching
// of paints removes; inside a run, with colder caches, a call costs more), the
// time a column title click takes to sort and paint a 100 000-row grid, and
// the latency of Stop and of closing the window: from a click on Stop, or a
// close request, posted into a running 100 000-row run until the run has
// returned.
//
// usage: bench_app_window_fill [--reps N] [--rows N]...  (default: 10000 and
// 100000 rows, 5 repetitions)

#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/f_main.h"
#include "app/message_dialog.h"
#include "app/result_list_model.h"
#include "app/save_dialog.h"
#include "app/zorvane_application.h"
#include "bench/support/bench_process.h"

namespace {

constexpr int kHitsPerPage = 100;
constexpr int kMaxRows = 100000;
// Long enough that a Stop or a close posted after kInterruptAfter still
// finds the run going.
constexpr int kInterruptedRunRows = kMaxRows;
constexpr auto kInterruptAfter = std::chrono::milliseconds(300);

double OwnCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The page count rides on the keyword, so one engine serves every size.
std::string Keyword(int rows) {
    return "benchmark&pages=" + std::to_string(rows / kHitsPerPage);
}

struct Timing {
    double wall = -1;  // -1: the run failed
    double cpu = 0;
};

// A fresh main window over the bench's program folder, shown and laid out,
// with no news or update check that could fall into a timed run.
class ShownWindow {
public:
    explicit ShownWindow(const std::filesystem::path& folder) {
        auto msg = std::make_unique<app::ScriptedMessageDialog>();
        // A close posted into a run gives up the rows harvested so far.
        msg->answer(true);
        msg_ = msg.get();
        window_ = std::make_unique<app::TfrmMain>(folder.string() + "/", std::move(msg),
                                                  std::make_unique<app::ScriptedSaveDialog>());
        window_->Timer1->stop();
        window_->LiveUpdateBaseURL = "http://127.0.0.1:1/";
        window_->EngineSettings.debugPageFile = (folder / "debug.html").string();
        window_->show();
        const double deadline = bench::Now() + 5;
        while (!window_->windowHandle()->isExposed() && bench::Now() < deadline) {
            QApplication::processEvents();
        }
        QApplication::processEvents();
    }

    app::TfrmMain& operator*() { return *window_; }
    app::TfrmMain* operator->() { return window_.get(); }
    bool messagesShown() const { return !msg_->shown().empty(); }

private:
    std::unique_ptr<app::TfrmMain> window_;
    app::ScriptedMessageDialog* msg_ = nullptr;
};

class Bench {
public:
    Bench(std::string port, std::filesystem::path folder)
        : port_(std::move(port)), folder_(std::move(folder)) {
        std::ofstream(folder_ / "sites.txt", std::ios::binary) << site() << "\r\n";
    }

    // Fails when the run did not leave every row and the final texts.
    Timing windowRun(int rows) {
        ShownWindow window(folder_);
        window->edtKeyword->setText(QString::fromStdString(Keyword(rows)));
        const double cpuBefore = OwnCpuSeconds();
        const double start = bench::Now();
        window->btnSearch->click();
        QApplication::processEvents();
        Timing t{bench::Now() - start, OwnCpuSeconds() - cpuBefore};

        const bool complete =
            window->results().rows().size() == static_cast<std::size_t>(rows) &&
            window->results().rowCount() == rows &&
            window->SecondStatusPanel->text().toStdString() == std::to_string(rows) + " items" &&
            window->MainStatusPanel->text() == QStringLiteral("Process completed sucessfull!") &&
            !window.messagesShown();
        if (!complete) {
            t.wall = -1;
        }
        return t;
    }

    // Fails when the process failed or the file lacks rows.
    Timing harvestRun(int rows) {
        const std::string csv = (folder_ / "harvest.csv").string();
        const bench::ChildRun run = bench::Run(
            {ZORVANE_HARVEST_PATH, "--site", site(), "--keyword", Keyword(rows), "--csv", csv});
        std::ifstream in(csv, std::ios::binary);
        const auto lines =
            std::count(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>(), '\n');
        const bool complete = run.status == 0 && lines == rows + 1;
        return {complete ? run.wallSeconds : -1, run.cpuSeconds};
    }

    // Seconds from posting `interrupt` into a running run until the run has
    // returned; -1 when the run ended before or was not stopped.
    double interruptedRun(const std::function<void(app::TfrmMain&)>& interrupt) {
        ShownWindow window(folder_);
        window->edtKeyword->setText(QString::fromStdString(Keyword(kInterruptedRunRows)));
        double posted = -1;
        QTimer::singleShot(kInterruptAfter, &*window, [&] {
            posted = bench::Now();
            interrupt(*window);
        });
        window->btnSearch->click();
        const double end = bench::Now();
        const bool stopped =
            posted >= 0 && window->StopRequested &&
            window->results().rows().size() < static_cast<std::size_t>(kInterruptedRunRows);
        return stopped ? end - posted : -1;
    }

private:
    std::string site() const { return "http://google@127.0.0.1:" + port_; }

    std::string port_;
    std::filesystem::path folder_;
};

// A click as the window system delivers it: press and release, queued.
void PostClick(QPushButton* button) {
    const QPointF at = QRectF(button->rect()).center();
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QCoreApplication::postEvent(
            button,
            new QMouseEvent(type, at, button->mapToGlobal(at), Qt::LeftButton,
                            type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                            Qt::NoModifier));
    }
}

// Microseconds per QApplication::processEvents() with the window shown and
// nothing pending.
double ProcessEventsCost(const std::filesystem::path& folder) {
    ShownWindow window(folder);
    constexpr int kCalls = 200000;
    const double start = bench::Now();
    for (int i = 0; i < kCalls; ++i) {
        QApplication::processEvents();
    }
    return (bench::Now() - start) / kCalls * 1e6;
}

// Seconds from a sort request until the grid of `rows` rows (random texts)
// is sorted and painted, for each column in either direction; the median.
double SortSeconds(const std::filesystem::path& folder, int rows) {
    ShownWindow window(folder);
    std::mt19937 random(1);
    std::vector<search::ResultRow> harvested;
    harvested.reserve(static_cast<std::size_t>(rows));
    for (int i = 1; i <= rows; ++i) {
        const std::string word = std::to_string(random());
        harvested.push_back({std::to_string(i), "Anchor " + word, "http://example.com/" + word,
                             "http://google@127.0.0.1"});
    }
    window->results().appendRows(std::move(harvested));
    QApplication::processEvents();
    std::vector<double> seconds;
    for (const int column : {app::ResultListModel::ColAnchor, app::ResultListModel::ColUrl,
                             app::ResultListModel::ColEngineSite, app::ResultListModel::ColPos}) {
        for (const Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
            const double start = bench::Now();
            window->lvwResults->sortByColumn(column, order);
            QApplication::processEvents();
            seconds.push_back(bench::Now() - start);
        }
    }
    return bench::Median(seconds);
}

bool Failed(const std::vector<double>& values) {
    return std::ranges::count(values, -1.0) > 0;
}

bool ReportLatency(const char* what, const std::vector<double>& seconds) {
    const bool failed = Failed(seconds);
    std::printf("%s latency: median %.1f ms, at most %.1f ms (target < 50 ms)%s\n", what,
                bench::Median(seconds) * 1e3, std::ranges::max(seconds) * 1e3,
                failed ? "  FAILED: a run was not stopped" : "");
    return !failed;
}

}  // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int reps = 5;
    std::vector<int> sizes;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        const int value = std::atoi(argv[i + 1]);
        if (arg == "--reps" && value > 0) {
            reps = value;
        } else if (arg == "--rows" && value >= kHitsPerPage && value <= kMaxRows &&
                   value % kHitsPerPage == 0) {
            sizes.push_back(value);
        } else {
            std::fprintf(stderr, "usage: %s [--reps N] [--rows N (a multiple of %d up to %d)]...\n",
                         argv[0], kHitsPerPage, kMaxRows);
            return 2;
        }
    }
    if (sizes.empty()) {
        sizes = {10000, kMaxRows};
    }
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("zorvane_bench_app_" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    // The windows remember their settings and site lines, and keep their
    // runs, in the bench's folder, not the user's.
    ::setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (folder / "data").c_str(), 1);
    app::ZorvaneApplication application(argc, argv);
    const bench::DemoEngine engine(ZORVANE_DEMO_ENGINE_PATH, kMaxRows / kHitsPerPage);
    if (!engine.running()) {
        std::fprintf(stderr, "the demo engine did not start\n");
        return 1;
    }

    bool ok = true;
    Bench run(engine.port(), folder);
    const double eventsCost = ProcessEventsCost(folder);
    std::printf("QApplication::processEvents() on the idle window: %.2f us a call\n", eventsCost);
    for (const int rows : sizes) {
        std::vector<double> windowWall, windowCpu, harvestWall, harvestCpu;
        for (int r = 0; r < reps; ++r) {
            const Timing w = run.windowRun(rows);
            const Timing h = run.harvestRun(rows);
            windowWall.push_back(w.wall);
            windowCpu.push_back(w.cpu);
            harvestWall.push_back(h.wall);
            harvestCpu.push_back(h.cpu);
        }
        const bool failed = Failed(windowWall) || Failed(harvestWall);
        ok = ok && !failed;
        const double w = bench::Median(windowWall);
        const double h = bench::Median(harvestWall);
        std::printf(
            "%6d rows: window %.3f s, zorvane-harvest %.3f s, ratio %.2f (target <= 1.5)%s\n", rows,
            w, h, w / h, failed ? "  FAILED: a run lacked rows or texts" : "");
        const double wc = bench::Median(windowCpu);
        const double hc = bench::Median(harvestCpu);
        std::printf("             CPU: window %.3f s, zorvane-harvest %.3f s, ratio %.2f\n", wc, hc,
                    wc / hc);
        std::printf(
            "             processEvents after every row: about %.3f s of the window's time\n",
            eventsCost * rows / 1e6);
        std::fflush(stdout);
    }

    std::printf("sorting a %d-row grid by a column title: median %.1f ms\n", kMaxRows,
                SortSeconds(folder, kMaxRows) * 1e3);

    std::vector<double> stops, closes;
    for (int r = 0; r < reps; ++r) {
        stops.push_back(run.interruptedRun([](app::TfrmMain& w) { PostClick(w.btnStop); }));
        closes.push_back(run.interruptedRun([](app::TfrmMain& w) {
            QCoreApplication::postEvent(w.windowHandle(), new QCloseEvent);
        }));
    }
    ok = ReportLatency("Stop ", stops) && ok;
    ok = ReportLatency("Close", closes) && ok;

    std::filesystem::remove_all(folder);
    return ok ? 0 : 1;
}

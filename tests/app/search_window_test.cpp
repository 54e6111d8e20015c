#include <QApplication>
#include <QComboBox>
#include <QDate>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "app/result_list_model.h"
#include "app/result_sort_model.h"
#include "app/window_search_host.h"
#include "net/http_client.h"
#include "search/search_run.h"
#include "tests/search/fake_host.h"
#include "tests/support/file_bytes.h"
#include "tools/demo_engine/demo_pages.h"
#include "tools/demo_engine/loopback_server.h"
#include "window_fixture.h"

namespace {

// The window's harvest against the demo engine on a loopback port, with the
// debug page copy kept in the test's own folder.
class SearchWindowTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        engine_.Start();
    }
    void TearDown() override {
        engine_.Stop();
        // No temporary page file may outlive its download.
        for (const auto& entry : std::filesystem::directory_iterator(folder_.path())) {
            const std::string name = entry.path().filename().string();
            EXPECT_FALSE(name.starts_with("test") && name.ends_with(".html")) << name;
        }
        WindowTest::TearDown();
    }

    app::TfrmMain& windowWithSites(const std::vector<std::string>& engines) {
        std::string sites;
        for (const auto& name : engines) {
            sites += "http://" + name + "@127.0.0.1:" + std::to_string(engine_.port()) + "\r\n";
        }
        writeFile("sites.txt", sites);
        app::TfrmMain& window = makeWindow();
        window.EngineSettings.debugPageFile = (folder_ / "debug.html").string();
        return window;
    }

    // Runs `action` from the event loop of the search as soon as `ready`
    // holds: the way a user's click arrives in the middle of a download.
    void whenReady(std::function<bool()> ready, std::function<void()> action) {
        auto* poll = new QTimer(window_.get());
        poll->setInterval(10);
        QObject::connect(poll, &QTimer::timeout, poll, [poll, ready, action] {
            if (ready()) {
                poll->stop();
                action();
            }
        });
        poll->start();
    }

    static std::string text(const QLabel* label) { return label->text().toStdString(); }

    // The same run through a host that shows every row and text the moment
    // it comes, as the window once did: what the window must end up showing.
    search::testing::FakeHost plainRun(app::TfrmMain& window) {
        search::testing::FakeHost host;
        host.keywordValue = window.edtKeyword->text().toStdString();
        host.siteTextValue = window.siteText();
        net::HttpClient http;
        search::AttachHarvesterClient(http, host);
        search::EngineSettings settings = window.EngineSettings;
        settings.debugPageFile = (folder_ / "plain.html").string();
        search::SearchContext context{host, http, settings};
        search::SearchRun(context);
        return host;
    }

    // Runs a search that stalls in its third page, with the paint clock
    // standing still so that nothing harvested has reached the grid when
    // `action` runs there; then stops the run if the action did not. Returns
    // how many rows had been harvested by then.
    std::size_t actInTheThirdPage(app::TfrmMain& window, const std::function<void()>& action) {
        window.Timer1->stop();
        window.searchHost().setPaintClock(
            [] { return app::WindowSearchHost::Clock::time_point{}; });
        window.edtKeyword->setText("cars&stall=2");
        window.show();
        const std::size_t thirdPage = engine_.requests().size() + 3;
        std::size_t harvested = 0;
        whenReady([&] { return engine_.requests().size() == thirdPage; },
                  [&] {
                      harvested = window.searchHost().rowCount();
                      EXPECT_EQ(window.results().rowCount(), 0) << "rows reached the grid early";
                      action();
                      if (!window.StopRequested) {
                          window.btnStop->click();
                      }
                  });
        window.btnSearch->click();
        EXPECT_GT(harvested, 0u);
        return harvested;
    }

    static std::size_t selectedRows(const app::TfrmMain& window) {
        return static_cast<std::size_t>(window.lvwResults->selectionModel()->selectedRows().size());
    }

    demo::LoopbackServer engine_{
        [](const demo::HttpRequest& r) { return demo::DemoReply(r, demo::kDefaultPageLimit); }};
};

TEST_F(SearchWindowTest, SearchHarvestsEveryPageIntoTheGrid) {
    app::TfrmMain& window = windowWithSites({"google"});
    window.edtKeyword->setText("cars&pages=2");
    window.btnSearch->click();

    const auto& rows = window.results().rows();
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(engine_.requests().size(), 2u);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].pos, std::to_string(i + 1));
        EXPECT_EQ(rows[i].engineSite, window.siteText());
    }
    EXPECT_EQ(text(window.SecondStatusPanel), std::to_string(rows.size()) + " items");
    EXPECT_EQ(text(window.MainStatusPanel), "Process completed sucessfull!");
    EXPECT_EQ(window.MainGauge->value(), window.MainGauge->maximum());
}

TEST_F(SearchWindowTest, ItemLimitIsReadFromTheSpinEdit) {
    app::TfrmMain& window = windowWithSites({"google"});
    window.edtKeyword->setText("cars");
    window.speMaxNum->setValue(10);
    window.btnSearch->click();

    EXPECT_EQ(window.results().rows().size(), 10u);
    EXPECT_EQ(engine_.requests().size(), 1u);
    EXPECT_EQ(text(window.SecondStatusPanel), "10 items");
}

TEST_F(SearchWindowTest, StopDuringADownloadEndsTheRunAndSearchIsNotReentered) {
    app::TfrmMain& window = windowWithSites({"google"});
    // Page 1 sends half its body and then holds the connection open.
    window.edtKeyword->setText("cars&stall=1");
    whenReady([&] { return engine_.requests().size() == 2; },
              [&] {
                  window.btnSearch->click();  // ignored: a run is going on
                  window.btnStop->click();
              });
    window.btnSearch->click();

    EXPECT_TRUE(window.StopRequested);
    EXPECT_EQ(engine_.requests().size(), 2u);
    const std::string status = text(window.MainStatusPanel);
    EXPECT_TRUE(status == "Process aborted by user." || status == "Proccess aborted by user.")
        << status;
    // Only the first page's hits were listed; the stalled page gave none.
    const std::size_t firstPage = window.results().rows().size();
    EXPECT_GT(firstPage, 0u);

    // The next Search clears the flag and runs normally.
    window.edtKeyword->setText("cars&pages=1");
    window.btnSearch->click();
    EXPECT_FALSE(window.StopRequested);
    EXPECT_EQ(text(window.MainStatusPanel), "Process completed sucessfull!");
    EXPECT_EQ(window.results().rows().size(), firstPage);
}

// The start-up news and update check falls due 2 s after start, often in a
// user's first search: it waits until the search is over, as a search must
// never wait for the publisher's servers.
TEST_F(SearchWindowTest, TheStartUpCheckWaitsForARunningSearch) {
    demo::LoopbackServer publisher{[](const demo::HttpRequest&) {
        return demo::HttpReply{.status = 404, .reason = "Not Found", .body = "no"};
    }};
    publisher.Start();
    app::TfrmMain& window = windowWithSites({"google"});
    window.LiveUpdateBaseURL = publisher.baseUrl() + "/live/";
    window.show();
    window.edtKeyword->setText("cars&stall=1");
    bool rearmed = false;
    whenReady([&] { return engine_.requests().size() == 2; },
              [&] {
                  window.Timer1->stop();
                  window.Timer1Timer();
                  rearmed = window.Timer1->isActive();
                  window.btnStop->click();
              });
    window.btnSearch->click();
    EXPECT_TRUE(rearmed);
    EXPECT_TRUE(publisher.requests().empty()) << "the check ran inside the search";

    window.Timer1Timer();
    EXPECT_EQ(publisher.requests().size(), 1u) << "the check comes after the search";
}

TEST_F(SearchWindowTest, StopWithoutARunOnlySetsTheFlagAndTheText) {
    app::TfrmMain& window = windowWithSites({"google"});
    window.btnStop->click();
    EXPECT_TRUE(window.StopRequested);
    EXPECT_EQ(text(window.MainStatusPanel), "Proccess aborted by user.");
    EXPECT_TRUE(engine_.requests().empty());
}

TEST_F(SearchWindowTest, ClosingTheWindowEndsARunningSearch) {
    app::TfrmMain& window = windowWithSites({"google"});
    window.edtKeyword->setText("cars&stall=0");
    window.show();
    whenReady([&] { return engine_.requests().size() == 1; }, [&] { window.close(); });
    window.btnSearch->click();

    EXPECT_TRUE(window.StopRequested);
    EXPECT_TRUE(window.results().rows().empty());
    EXPECT_EQ(engine_.requests().size(), 1u);
}

TEST_F(SearchWindowTest, RunEndsWithTheRowsAndTextsOfAPlainHostHoweverOftenItPaints) {
    using Clock = app::WindowSearchHost::Clock;
    enum class Inserts { OneAtTheEnd, OnePerRow, Some };
    const struct {
        const char* name;
        std::function<Clock::time_point()> clock;
        Inserts inserts;
    } cases[] = {
        {.name = "a clock standing still",
         .clock = [] { return Clock::time_point{}; },
         .inserts = Inserts::OneAtTheEnd},
        {.name = "a clock a second on at every look",
         .clock = [t = Clock::time_point{}]() mutable { return t += std::chrono::seconds(1); },
         .inserts = Inserts::OnePerRow},
        {.name = "the steady clock",
         .clock = [] { return Clock::now(); },
         .inserts = Inserts::Some},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        app::TfrmMain& window = windowWithSites({"google"});
        window.Timer1->stop();
        window.edtKeyword->setText("cars&pages=3");
        const search::testing::FakeHost plain = plainRun(window);
        ASSERT_GT(plain.rows.size(), 200u);

        window.searchHost().setPaintClock(c.clock);
        std::vector<std::pair<int, int>> inserts;
        QObject::connect(
            &window.results(), &QAbstractItemModel::rowsInserted,
            [&](const QModelIndex&, int first, int last) { inserts.emplace_back(first, last); });
        window.btnSearch->click();

        EXPECT_EQ(window.results().rows(), plain.rows);
        EXPECT_EQ(window.results().rowCount(), static_cast<int>(plain.rows.size()));
        EXPECT_EQ(text(window.SecondStatusPanel), plain.secondStatus);
        EXPECT_EQ(text(window.MainStatusPanel), plain.mainStatus);
        EXPECT_EQ(window.MainGauge->maximum(), plain.gaugeMaxValue);
        EXPECT_EQ(window.MainGauge->value(), window.MainGauge->maximum());
        EXPECT_TRUE(window.MainGauge->updatesEnabled());
        const int last = static_cast<int>(plain.rows.size()) - 1;
        switch (c.inserts) {
            case Inserts::OneAtTheEnd:
                EXPECT_EQ(inserts, (std::vector<std::pair<int, int>>{{0, last}}));
                break;
            case Inserts::OnePerRow:
                EXPECT_EQ(inserts.size(), plain.rows.size());
                EXPECT_TRUE(
                    std::ranges::all_of(inserts, [](auto i) { return i.first == i.second; }));
                break;
            case Inserts::Some:
                EXPECT_GE(inserts.size(), 1u);
                EXPECT_LE(inserts.size(), plain.rows.size());
                break;
        }
    }
}

TEST_F(SearchWindowTest, AnActionInTheMiddleOfARunSeesEveryRowHarvestedSoFar) {
    const std::string csv = (folder_ / "middle.csv").string();
    const struct {
        const char* name;
        // How many rows the action found.
        std::function<std::size_t(app::TfrmMain&)> act;
        const char* mainStatusPrefix;
    } cases[] = {
        {.name = "Select All",
         .act =
             [](app::TfrmMain& w) {
                 w.btnSelectAll->click();
                 return selectedRows(w);
             },
         .mainStatusPrefix = "Getting URL: "},
        {.name = "Ctrl+A in the grid",
         .act =
             [](app::TfrmMain& w) {
                 QTest::keyClick(w.lvwResults, Qt::Key_A, Qt::ControlModifier);
                 return selectedRows(w);
             },
         .mainStatusPrefix = "Getting URL: "},
        {.name = "Export All",
         .act =
             [&](app::TfrmMain& w) {
                 save_->answer(csv);
                 w.btnExportAll->click();
                 const std::string bytes = testsupport::ReadFileBytes(csv);
                 const auto rows = static_cast<std::size_t>(std::ranges::count(bytes, '\n')) - 1;
                 EXPECT_EQ(text(w.MainStatusPanel),
                           std::to_string(rows) + " rows exported to " + csv);
                 return rows;
             },
         .mainStatusPrefix = ""},
        {.name = "Stop",
         .act =
             [](app::TfrmMain& w) {
                 w.btnStop->click();
                 return w.results().rows().size();
             },
         .mainStatusPrefix = "Proccess aborted by user."},
        {.name = "closing the window",
         .act =
             [&](app::TfrmMain& w) {
                 msg_->answer(true);
                 w.close();
                 const std::size_t rows = w.results().rows().size();
                 EXPECT_EQ(msg_->texts(),
                           std::vector<std::string>{"Close and discard " + std::to_string(rows) +
                                                    " rows?"});
                 msg_->clearShown();
                 return rows;
             },
         .mainStatusPrefix = "Getting URL: "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        app::TfrmMain& window = windowWithSites({"google"});
        std::size_t found = 0;
        std::string countText;
        std::string mainText;
        const std::size_t harvested = actInTheThirdPage(window, [&] {
            found = c.act(window);
            countText = text(window.SecondStatusPanel);
            mainText = text(window.MainStatusPanel);
        });
        EXPECT_EQ(found, harvested);
        EXPECT_EQ(countText, std::to_string(harvested) + " items");
        EXPECT_TRUE(mainText.starts_with(c.mainStatusPrefix)) << mainText;
        // The stalled page gives no rows: the grid ends as the action found it.
        EXPECT_EQ(window.results().rows().size(), harvested);
        EXPECT_EQ(text(window.SecondStatusPanel), std::to_string(harvested) + " items");
        EXPECT_TRUE(msg_->shown().empty());
    }
}

TEST_F(SearchWindowTest, DeleteAllInTheMiddleOfARunLeavesNoRowBehind) {
    app::TfrmMain& window = windowWithSites({"google"});
    msg_->answer(true);
    actInTheThirdPage(window, [&] { window.btnDelAll->click(); });
    EXPECT_EQ(msg_->texts(), std::vector<std::string>{"Are you sure to delete all?"});
    EXPECT_TRUE(window.results().rows().empty());
    EXPECT_EQ(text(window.SecondStatusPanel), "0 items listed");
}

TEST_F(SearchWindowTest, EnterInTheKeywordBoxTheItemCountOrTheSiteBoxStartsASearch) {
    const struct {
        const char* name;
        std::function<void(app::TfrmMain&)> keys;
        std::size_t rows;
    } cases[] = {
        {.name = "Return in the keyword box",
         .keys = [](app::TfrmMain& w) { QTest::keyClick(w.edtKeyword, Qt::Key_Return); },
         .rows = 100},
        // The count typed last counts, though the spin box has not taken it
        // in before the key.
        {.name = "Enter on the keypad in the item count",
         .keys =
             [](app::TfrmMain& w) {
                 w.speMaxNum->selectAll();
                 QTest::keyClicks(w.speMaxNum, "7");
                 QTest::keyClick(w.speMaxNum, Qt::Key_Enter, Qt::KeypadModifier);
             },
         .rows = 7},
        {.name = "Return in the site box",
         .keys = [](app::TfrmMain& w) { QTest::keyClick(w.cbxSites->lineEdit(), Qt::Key_Return); },
         .rows = 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        app::TfrmMain& window = windowWithSites({"google"});
        window.edtKeyword->setText("cars&pages=1");
        const std::size_t requestsBefore = engine_.requests().size();
        c.keys(window);
        EXPECT_EQ(engine_.requests().size(), requestsBefore + 1);
        EXPECT_EQ(window.results().rows().size(), c.rows);
        EXPECT_EQ(text(window.MainStatusPanel), "Process completed sucessfull!");
        EXPECT_TRUE(msg_->shown().empty());
    }
}

TEST_F(SearchWindowTest, EscapeStopsARunningSearchAndSearchIsDisabledMeanwhile) {
    app::TfrmMain& window = windowWithSites({"google"});
    window.edtKeyword->setText("cars&stall=1");
    bool enabledDuringTheRun = true;
    whenReady([&] { return engine_.requests().size() == 2; },
              [&] {
                  enabledDuringTheRun = window.btnSearch->isEnabled();
                  QTest::keyClick(window.edtKeyword, Qt::Key_Escape);
              });
    QTest::keyClick(window.edtKeyword, Qt::Key_Return);

    EXPECT_FALSE(enabledDuringTheRun);
    EXPECT_TRUE(window.btnSearch->isEnabled());
    EXPECT_TRUE(window.StopRequested);
    EXPECT_EQ(engine_.requests().size(), 2u);
    const std::string status = text(window.MainStatusPanel);
    EXPECT_TRUE(status == "Process aborted by user." || status == "Proccess aborted by user.")
        << status;

    // Without a run, Escape is only a key: nothing is stopped or shown.
    window.StopRequested = false;
    window.MainStatusPanel->setText("idle");
    QTest::keyClick(window.lvwResults, Qt::Key_Escape);
    EXPECT_FALSE(window.StopRequested);
    EXPECT_EQ(text(window.MainStatusPanel), "idle");
}

// Escape presses Stop: a download stopped either way leaves the same
// status, and the gauge at the end of what the page's download reached.
TEST_F(SearchWindowTest, StopAndEscapeLeaveTheGaugeAndStatusAlike) {
    struct Ended {
        int value;
        int maximum;
        std::string status;
        bool operator==(const Ended&) const = default;
    };
    const struct {
        const char* name;
        std::function<void(app::TfrmMain&)> stop;
    } stoppers[] = {
        {.name = "Stop", .stop = [](app::TfrmMain& w) { w.btnStop->click(); }},
        {.name = "Escape in the keyword box",
         .stop = [](app::TfrmMain& w) { QTest::keyClick(w.edtKeyword, Qt::Key_Escape); }},
        {.name = "Escape in the grid",
         .stop = [](app::TfrmMain& w) { QTest::keyClick(w.lvwResults, Qt::Key_Escape); }},
        {.name = "Escape in the item count",
         .stop = [](app::TfrmMain& w) { QTest::keyClick(w.speMaxNum, Qt::Key_Escape); }},
        {.name = "Escape on the Stop button",
         .stop = [](app::TfrmMain& w) { QTest::keyClick(w.btnStop, Qt::Key_Escape); }},
    };
    std::vector<Ended> ended;
    for (const auto& c : stoppers) {
        SCOPED_TRACE(c.name);
        app::TfrmMain& window = windowWithSites({"google"});
        window.Timer1->stop();
        window.show();
        // Page 1 sends half its body and holds the connection: stopped once
        // the gauge shows that half.
        window.edtKeyword->setText("cars&stall=1");
        const std::size_t secondPage = engine_.requests().size() + 2;
        whenReady(
            [&] {
                return engine_.requests().size() == secondPage && window.MainGauge->value() > 0 &&
                       window.MainGauge->value() < window.MainGauge->maximum();
            },
            [&] { c.stop(window); });
        window.btnSearch->click();
        EXPECT_TRUE(window.StopRequested);
        ended.push_back(
            {window.MainGauge->value(), window.MainGauge->maximum(), text(window.MainStatusPanel)});
    }
    ASSERT_EQ(ended.size(), std::size(stoppers));
    for (std::size_t i = 1; i < ended.size(); ++i) {
        EXPECT_EQ(ended[i], ended[0]) << stoppers[i].name;
    }
    EXPECT_EQ(ended[0].value, ended[0].maximum);
}

// A new Search shows its rows in harvest order, whatever the grid was
// sorted by before.
TEST_F(SearchWindowTest, NewSearchShowsItsRowsInPosOrder) {
    app::TfrmMain& window = windowWithSites({"google"});
    window.Timer1->stop();
    window.show();
    window.edtKeyword->setText("cars&pages=1");
    window.btnSearch->click();
    ASSERT_GT(window.results().rowCount(), 2);
    window.lvwResults->sortByColumn(app::ResultListModel::ColPos, Qt::DescendingOrder);
    const auto firstShownPos = [&] {
        return window.lvwResults->model()
            ->index(0, app::ResultListModel::ColPos)
            .data()
            .toString()
            .toStdString();
    };
    ASSERT_NE(firstShownPos(), "1");

    window.btnSearch->click();
    EXPECT_EQ(firstShownPos(), "1");
    EXPECT_EQ(window.lvwResults->horizontalHeader()->sortIndicatorSection(), -1);
    for (int row = 0; row < window.results().rowCount(); ++row) {
        EXPECT_EQ(window.resultView().sourceRow(row), row);
    }
}

// No text changes the window's size: a long keyword's "Getting URL: ..."
// status and an export to a long path are cut in the middle, whole in the
// text and the tooltip, and the window keeps the width the user gave it,
// also the next time it opens.
// The site box has an edit field of its own now; Escape there still stops a
// search, as anywhere else in the window.
TEST_F(SearchWindowTest, EscapeInTheSiteBoxStopsARunningSearchToo) {
    app::TfrmMain& window = windowWithSites({"google"});
    window.edtKeyword->setText("cars&stall=1");
    whenReady([&] { return engine_.requests().size() == 2; },
              [&] { QTest::keyClick(window.cbxSites->lineEdit(), Qt::Key_Escape); });
    QTest::keyClick(window.cbxSites->lineEdit(), Qt::Key_Return);
    EXPECT_TRUE(window.StopRequested);
    EXPECT_EQ(engine_.requests().size(), 2u);
    EXPECT_TRUE(window.btnSearch->isEnabled());
}

TEST_F(SearchWindowTest, LongStatusTextsLeaveTheWindowItsSize) {
    app::TfrmMain& window = windowWithSites({"google"});
    window.Timer1->stop();
    window.show();
    QApplication::processEvents();
    const QSize size = window.size();
    const int minimumWidth = window.minimumWidth();
    const int minimumHint = window.minimumSizeHint().width();
    // The designed width holds every control, and the keyword box shows a
    // keyword of two words in it.
    EXPECT_EQ(size.width(), app::TfrmMain::kClientWidth);
    EXPECT_GE(window.edtKeyword->contentsRect().width(),
              window.edtKeyword->fontMetrics().horizontalAdvance("used cars"));
    const auto keepsItsSize = [&](const app::StatusLabel* panel, const std::string& status) {
        QApplication::processEvents();
        EXPECT_EQ(window.size(), size);
        EXPECT_EQ(window.minimumWidth(), minimumWidth);
        EXPECT_EQ(window.minimumSizeHint().width(), minimumHint);
        EXPECT_EQ(text(panel), status);
        EXPECT_EQ(panel->toolTipText().toStdString(), status);
        const QString shown = panel->shownText();
        EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
        EXPECT_LE(panel->fontMetrics().horizontalAdvance(shown), panel->contentsRect().width());
        return shown;
    };

    const std::string url =
        window.siteText() + "/search?as_q=" + std::string(80, 'k') + "&num=100&start=0";
    window.searchHost().setMainStatus("Getting URL: " + url + "...");
    const QString shownUrl = keepsItsSize(window.MainStatusPanel, "Getting URL: " + url + "...");
    EXPECT_TRUE(shownUrl.startsWith("Getting URL: http://")) << shownUrl.toStdString();
    EXPECT_TRUE(shownUrl.endsWith("start=0...")) << shownUrl.toStdString();
    window.searchHost().setSecondStatus(std::string(200, '9') + " items");
    keepsItsSize(window.SecondStatusPanel, std::string(200, '9') + " items");

    const std::filesystem::path folder = folder_ / std::string(200, 'd');
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "out.csv").string();
    window.results().appendRow({"1", "anchor", "http://a.example", "site"});
    save_->answer(path);
    window.btnExportAll->click();
    keepsItsSize(window.MainStatusPanel, "1 row exported to " + path);

    // A short text shows whole, without a tooltip.
    window.searchHost().setMainStatus("Process completed sucessfull!");
    EXPECT_EQ(window.MainStatusPanel->shownText(), "Process completed sucessfull!");
    EXPECT_EQ(window.MainStatusPanel->toolTipText(), "");

    // The keyword box takes the room the window gains; the item count shows
    // six digits.
    const int keywordWidth = window.edtKeyword->width();
    window.resize(size.width() + 200, size.height());
    QApplication::processEvents();
    EXPECT_EQ(window.edtKeyword->width(), keywordWidth + 200);
    window.speMaxNum->setValue(999999);
    const auto* count = window.speMaxNum->findChild<QLineEdit*>();
    ASSERT_NE(count, nullptr);
    EXPECT_GE(count->contentsRect().width(), count->fontMetrics().horizontalAdvance("999999"));
    window.resize(size);
    QApplication::processEvents();

    window.close();
    app::TfrmMain& again = makeWindow();
    again.show();
    QApplication::processEvents();
    EXPECT_EQ(again.size(), size);
}

// A line that selects no engine says so in the status bar instead of doing
// nothing; it asks nothing (no keyword would make it run) and leaves the
// rows of the last search where they are.
TEST_F(SearchWindowTest, ALineThatRunsNoPassSaysSo) {
    const std::string server = "127.0.0.1:" + std::to_string(engine_.port());
    struct Case {
        std::string line;
        std::string status;
    } const cases[] = {
        {.line = "http://Google@" + server, .status = "This site line runs no engine pass."},
        {.line = "http://" + server, .status = "This site line runs no engine pass."},
        {.line = "[nosuch] http://google@" + server,
         .status = "This site line runs no engine pass. Unknown engine profile: nosuch"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        writeFile("sites.txt", "http://google@" + server + "\n" + c.line + "\n");
        app::TfrmMain& window = makeWindow();
        window.edtKeyword->setText("cars&pages=1");
        window.btnSearch->click();
        const std::size_t rows = window.results().rows().size();
        ASSERT_GT(rows, 0u);
        const std::size_t requestsBefore = engine_.requests().size();

        window.cbxSites->setCurrentIndex(1);
        for (const char* keyword : {"cars", ""}) {
            window.edtKeyword->setText(keyword);
            window.btnSearch->click();
            EXPECT_EQ(text(window.MainStatusPanel), c.status);
            EXPECT_TRUE(msg_->shown().empty());
            EXPECT_EQ(engine_.requests().size(), requestsBefore);
            EXPECT_EQ(window.results().rows().size(), rows);
            EXPECT_TRUE(window.btnSearch->isEnabled());
        }
    }
}

// A line the user types and searches with is offered from then on: in this
// window, and after the program's lines in the next one, chosen as the last
// line used; it is added to the user's sites.txt once.
TEST_F(SearchWindowTest, ATypedSiteLineUsedForASearchIsKeptForTheNextStart) {
    const std::string server = "127.0.0.1:" + std::to_string(engine_.port());
    const std::string listed = "http://google@" + server;
    const std::string typed = "http://yahoo@" + server;
    app::TfrmMain& first = windowWithSites({"google"});
    first.edtKeyword->setText("cars&pages=1");
    first.cbxSites->lineEdit()->selectAll();
    QTest::keyClicks(first.cbxSites->lineEdit(), QString::fromStdString(typed));
    EXPECT_TRUE(first.siteTextTyped());
    EXPECT_EQ(first.siteText(), typed);
    const std::size_t requestsBefore = engine_.requests().size();
    QTest::keyClick(first.cbxSites->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(engine_.requests().size(), requestsBefore + 1);
    EXPECT_FALSE(first.results().rows().empty());
    ASSERT_FALSE(engine_.requests().empty());
    EXPECT_TRUE(engine_.requests().back().target.starts_with("/search?p=cars"))
        << engine_.requests().back().target;
    EXPECT_TRUE(msg_->shown().empty());
    EXPECT_EQ(testsupport::ReadFileBytes(userSitesFile()), typed + "\r\n");
    ASSERT_EQ(first.cbxSites->count(), 2);
    EXPECT_EQ(first.cbxSites->currentIndex(), 1);
    EXPECT_FALSE(first.siteTextTyped());
    EXPECT_EQ(first.cbxSites->itemData(1, Qt::ToolTipRole).toString(),
              "Runs: yahoo (built-in pass)");

    // Typed again over the other line, it is the listed one: used, not added.
    first.cbxSites->setCurrentIndex(0);
    first.cbxSites->setEditText(QString::fromStdString(typed));
    EXPECT_FALSE(first.siteTextTyped());
    first.btnSearch->click();
    EXPECT_EQ(engine_.requests().size(), requestsBefore + 2);
    EXPECT_EQ(first.cbxSites->count(), 2);
    EXPECT_EQ(testsupport::ReadFileBytes(userSitesFile()), typed + "\r\n");
    first.results().clear();
    ASSERT_TRUE(first.close());

    app::TfrmMain& second = makeWindow();
    ASSERT_EQ(second.cbxSites->count(), 2);
    EXPECT_EQ(second.cbxSites->itemText(0).toStdString(), listed);
    EXPECT_EQ(second.cbxSites->currentIndex(), 1);
    EXPECT_EQ(second.siteText(), typed);
    EXPECT_TRUE(msg_->shown().empty());
}

// A typed text that is no line to keep is refused before any request, with
// the reason in the status; one that runs no engine is not kept either. A
// line that cannot be written is still used, and the user learns why it
// will be gone.
TEST_F(SearchWindowTest, ATypedSiteLineThatCannotBeKeptSaysWhy) {
    const std::string server = "http://google@127.0.0.1:" + std::to_string(engine_.port());
    const struct {
        const char* name;
        std::string line;
        std::string status;
    } cases[] = {
        {.name = "too long",
         .line = server + "/" + std::string(2048, 'x'),
         .status = "This site line is too long: at most 2048 bytes."},
        // Pasted text may hold them; the line would be two in the file.
        {.name = "a line break",
         .line = server + "\n" + server,
         .status = "A site line is one line, without line breaks."},
        {.name = "runs no engine",
         .line = "http://nothing.example",
         .status = "This site line runs no engine pass."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        app::TfrmMain& window = windowWithSites({"google"});
        window.edtKeyword->setText("cars&pages=1");
        window.cbxSites->setEditText(QString::fromStdString(c.line));
        window.btnSearch->click();
        EXPECT_EQ(text(window.MainStatusPanel), c.status);
        EXPECT_TRUE(engine_.requests().empty());
        EXPECT_TRUE(msg_->shown().empty());
        EXPECT_EQ(window.cbxSites->count(), 1);
        EXPECT_FALSE(std::filesystem::exists(userSitesFile()));
    }

    app::TfrmMain& window = windowWithSites({"google"});
    window.edtKeyword->setText("cars&pages=1");
    std::filesystem::create_directories(userSitesFile());
    const std::string typed = "http://google-typed@127.0.0.1:" + std::to_string(engine_.port());
    window.cbxSites->setEditText(QString::fromStdString(typed));
    window.btnSearch->click();
    ASSERT_EQ(msg_->shown().size(), 1u);
    EXPECT_EQ(msg_->shown()[0].kind, app::MessageDialog::Kind::Warning);
    EXPECT_NE(msg_->shown()[0].text.find(userSitesFile().string()), std::string::npos)
        << msg_->shown()[0].text;
    EXPECT_EQ(window.results().rows().size(), 100u);
    EXPECT_EQ(window.cbxSites->count(), 2);
    EXPECT_EQ(window.siteText(), typed);
}

// Without a site line the status that names the missing or empty sites.txt
// stays: it tells the user what to do, and a search has nothing to add.
TEST_F(SearchWindowTest, SearchWithoutASiteLineKeepsTheStatusNamingTheFile) {
    const std::string path = (folder_ / "sites.txt").string();
    const struct {
        bool writeEmptyFile;
        std::string status;
    } cases[] = {
        {.writeEmptyFile = false, .status = "No engine sites: " + path + " is missing."},
        {.writeEmptyFile = true, .status = "No engine sites: " + path + " is empty."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        std::filesystem::remove(path);
        if (c.writeEmptyFile) {
            writeFile("sites.txt", "");
        }
        app::TfrmMain& window = makeWindow();
        ASSERT_EQ(text(window.MainStatusPanel), c.status);
        for (const char* keyword : {"cars", ""}) {
            window.edtKeyword->setText(keyword);
            window.btnSearch->click();
            EXPECT_EQ(text(window.MainStatusPanel), c.status);
            EXPECT_TRUE(msg_->shown().empty());
            EXPECT_TRUE(window.btnSearch->isEnabled());
        }
    }
    EXPECT_TRUE(engine_.requests().empty());
}

TEST_F(SearchWindowTest, AnEmptyKeywordAsksBeforeTheSearch) {
    for (const bool yes : {false, true}) {
        SCOPED_TRACE(yes ? "Yes" : "No");
        for (const char* keyword : {"", "  \t "}) {
            app::TfrmMain& window = windowWithSites({"google"});
            window.edtKeyword->setText(keyword);
            const std::size_t requestsBefore = engine_.requests().size();
            msg_->answer(yes);
            window.btnSearch->click();
            ASSERT_EQ(msg_->shown().size(), 1u);
            EXPECT_EQ(msg_->shown()[0].text, "Search without a keyword?");
            EXPECT_EQ(msg_->shown()[0].kind, app::MessageDialog::Kind::Question);
            EXPECT_EQ(msg_->shown()[0].buttons, app::MessageDialog::Buttons::YesNo);
            EXPECT_EQ(engine_.requests().size() > requestsBefore, yes);
            EXPECT_EQ(window.results().rows().empty(), !yes);
        }
    }
}

// The engines get the keyword as UTF-8, and the anchors they send in UTF-8
// are shown as the characters they are.
TEST_F(SearchWindowTest, KeywordAndAnchorsTravelAsUtf8) {
    app::TfrmMain& window = windowWithSites({"google"});
    window.edtKeyword->setText(QStringLiteral("Caf\u00e9 cr\u00e8me&pages=1"));
    window.btnSearch->click();
    ASSERT_EQ(engine_.requests().size(), 1u);
    const auto query = demo::ParseDemoTarget(engine_.requests()[0].target, 1);
    ASSERT_TRUE(query.has_value()) << engine_.requests()[0].target;
    EXPECT_EQ(query->keyword, "Caf\xC3\xA9 cr\xC3\xA8me");

    window.results().appendRow({"1", "Caf\xC3\xA9", "http://caf\xC3\xA9.example/", "site"});
    const int last = window.results().rowCount() - 1;
    EXPECT_EQ(window.results().index(last, app::ResultListModel::ColAnchor).data().toString(),
              QStringLiteral("Caf\u00e9"));
    EXPECT_EQ(window.results().index(last, app::ResultListModel::ColUrl).data().toString(),
              QStringLiteral("http://caf\u00e9.example/"));
}

TEST_F(SearchWindowTest, ExportWritesEveryRowAfterTheHeaderWithOrWithoutTheMark) {
    const std::string plain =
        "\"Pos\",\"Anchor\",\"URL\",\"Engine Site\"\r\n"
        "\"1\",\"Say \"\"hi\"\", world\",\"http://a.example\",\"site\"\r\n"
        "\"2\",\"Caf\xC3\xA9\",\"http://b.example\",\"site\"\r\n";
    const struct {
        const char* name;
        std::size_t fileType;
        std::string bytes;
    } cases[] = {
        {.name = "Comma delimited", .fileType = 0, .bytes = plain},
        {.name = "CSV UTF-8 with BOM", .fileType = 1, .bytes = "\xEF\xBB\xBF" + plain},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        app::TfrmMain& window = makeWindow();
        window.results().appendRow({"1", "Say \"hi\", world", "http://a.example", "site"});
        window.results().appendRow({"2", "Caf\xC3\xA9", "http://b.example", "site"});
        const std::string path = (folder_ / "out").string();
        save_->answer(path, c.fileType);
        window.btnExportAll->click();

        ASSERT_EQ(save_->asked().size(), 1u);
        EXPECT_EQ(save_->asked()[0].title, "Export all data");
        EXPECT_EQ(save_->asked()[0].filter,
                  "Comma delimited (*.csv)|*.csv|CSV UTF-8 with BOM (*.csv)|*.csv");
        EXPECT_TRUE(testsupport::ReadFileBytes(path + ".csv") == c.bytes);
        EXPECT_EQ(text(window.MainStatusPanel), "2 rows exported to " + path + ".csv");
        EXPECT_TRUE(msg_->shown().empty());
    }
}

// The save dialog opens on "<keyword>-<day>.csv", the keyword made fit for
// a file name, in the folder of the last export.
TEST_F(SearchWindowTest, ExportSuggestsTheKeywordAndTheDayInTheLastFolder) {
    const struct {
        QString keyword;
        QString name;  // before "-<day>.csv"
    } cases[] = {
        {.keyword = "used cars", .name = "used cars"},
        {.keyword = "a/b\\c:d*e?f\"g<h>i|j", .name = "a_b_c_d_e_f_g_h_i_j"},
        {.keyword = "../../etc/passwd", .name = "_.._etc_passwd"},
        {.keyword = "  tab\there\nnew   line ", .name = "tab here new line"},
        {.keyword = "x\x01y\x7f", .name = "x_y_"},
        {.keyword = "Caf\u00e9", .name = "Caf\u00e9"},
        {.keyword = "", .name = "results"},
        {.keyword = " ... ", .name = "results"},
        // 300 bytes of UTF-8 cut to 200, at a character's end.
        {.keyword = QString(150, QChar(0xe9)), .name = QString(100, QChar(0xe9))},
        {.keyword = QString("a") + QString(100, QChar(0xe9)),
         .name = QString("a") + QString(99, QChar(0xe9))},
    };
    app::TfrmMain& window = makeWindow();
    window.results().appendRow({"1", "a", "http://a.example", "site"});
    for (const auto& c : cases) {
        window.edtKeyword->setText(c.keyword);
        const QString before = QDate::currentDate().toString(Qt::ISODate);
        window.btnExportAll->click();
        const QString after = QDate::currentDate().toString(Qt::ISODate);
        const QFileInfo suggested(QString::fromStdString(save_->asked().back().suggestedPath));
        EXPECT_TRUE(suggested.fileName() == c.name + "-" + before + ".csv" ||
                    suggested.fileName() == c.name + "-" + after + ".csv")
            << suggested.fileName().toStdString();
        EXPECT_NE(suggested.absolutePath().toStdString() + "/", folder_.pathWithSlash())
            << "the program's folder is no place for exports";
    }

    // After an export the next one starts in its folder, also in the next
    // window.
    std::filesystem::create_directory(folder_ / "exports");
    save_->answer((folder_ / "exports/first.csv").string());
    window.btnExportAll->click();
    window.edtKeyword->setText("cars");
    window.btnExportAll->click();
    EXPECT_EQ(QFileInfo(QString::fromStdString(save_->asked().back().suggestedPath)).path(),
              QString::fromStdString((folder_ / "exports").string()));
    makeWindow().btnExportAll->click();  // an empty grid asks first: no
    msg_->answer(true);
    window_->btnExportAll->click();
    ASSERT_EQ(save_->asked().size(), 1u);
    EXPECT_EQ(QFileInfo(QString::fromStdString(save_->asked()[0].suggestedPath)).path(),
              QString::fromStdString((folder_ / "exports").string()));
}

// An empty grid makes a file with the header alone, which is rarely what
// the user means: Export All asks before it opens the save dialog.
TEST_F(SearchWindowTest, ExportOfAnEmptyGridAsksFirst) {
    app::TfrmMain& window = makeWindow();
    const std::string path = (folder_ / "empty.csv").string();
    msg_->answer(false);
    window.btnExportAll->click();
    EXPECT_EQ(msg_->texts(),
              std::vector<std::string>{"The list is empty. Export the header line alone?"});
    EXPECT_EQ(msg_->shown()[0].buttons, app::MessageDialog::Buttons::YesNo);
    EXPECT_TRUE(save_->asked().empty());

    msg_->answer(true);
    save_->answer(path);
    window.btnExportAll->click();
    EXPECT_EQ(testsupport::ReadFileBytes(path), "\"Pos\",\"Anchor\",\"URL\",\"Engine Site\"\r\n");
    EXPECT_EQ(text(window.MainStatusPanel), "0 rows exported to " + path);
}

TEST_F(SearchWindowTest, ExportCancelledOrFailingKeepsTheRows) {
    app::TfrmMain& window = makeWindow();
    window.results().appendRow({"1", "a", "http://a.example", "site"});

    save_->answer(std::nullopt);
    window.btnExportAll->click();
    EXPECT_TRUE(msg_->shown().empty());

    const std::string path = (folder_ / "missing/out.csv").string();
    save_->answer(path);
    window.btnExportAll->click();
    ASSERT_EQ(msg_->texts().size(), 1u);
    EXPECT_NE(msg_->texts()[0].find(path), std::string::npos) << msg_->texts()[0];
    EXPECT_EQ(window.results().rows().size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace

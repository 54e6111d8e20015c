// The rank history in the window: every Search kept unless the setting says
// no, a damaged file that never stops a search, Clear History; and the
// History window's list, chart, run comparison and deletions over runs whose
// answers are worked out by hand.
#include <QAction>
#include <QApplication>
#include <QChart>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QScatterSeries>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QValueAxis>
#include <filesystem>
#include <fstream>
#include <map>

#include "app/history_window.h"
#include "app/result_list_model.h"
#include "app/status_label.h"
#include "app/window_texts.h"
#include "history/history_delete.h"
#include "history/history_store.h"
#include "history/run_queries.h"
#include "tests/support/file_bytes.h"
#include "tools/demo_engine/demo_pages.h"
#include "tools/demo_engine/loopback_server.h"
#include "window_fixture.h"

namespace {

namespace fs = std::filesystem;
using Points = QList<QPointF>;

std::string Text(const QString& text) {
    return text.toStdString();
}

// The searches of a window against the demo engine, and what they left in
// the user's history.
class SearchHistoryTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        engine_.Start();
    }
    void TearDown() override {
        engine_.Stop();
        WindowTest::TearDown();
    }

    app::TfrmMain& window() {
        writeFile("sites.txt",
                  "http://google@127.0.0.1:" + std::to_string(engine_.port()) + "\r\n");
        app::TfrmMain& window = makeWindow();
        window.Timer1->stop();
        window.EngineSettings.debugPageFile = (folder_ / "debug.html").string();
        return window;
    }

    static std::vector<history::RunInfo> runs() {
        history::HistoryStore store(app::TfrmMain::historyPath());
        return history::ListRuns(store.db());
    }

    demo::LoopbackServer engine_{
        [](const demo::HttpRequest& r) { return demo::DemoReply(r, demo::kDefaultPageLimit); }};
};

TEST_F(SearchHistoryTest, EverySearchIsKeptWithItsRowsAndTheHistoryWindowShowsIt) {
    app::TfrmMain& frmMain = window();
    EXPECT_EQ(fs::path(app::TfrmMain::historyPath()), data_ / "zorvane/history.sqlite3");
    frmMain.btnHistory->click();
    ASSERT_NE(frmMain.frmHistory(), nullptr);
    EXPECT_EQ(frmMain.frmHistory()->tblKeywords->rowCount(), 0);

    frmMain.edtKeyword->setText("cars&pages=2");
    frmMain.speMaxNum->setValue(15);
    frmMain.btnSearch->click();

    const std::vector<history::RunInfo> kept = runs();
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].keyword, "cars&pages=2");
    EXPECT_EQ(kept[0].outcome, "complete");
    EXPECT_EQ(kept[0].siteLine, frmMain.siteText());
    EXPECT_EQ(kept[0].steps, "google");
    EXPECT_EQ(kept[0].itemLimit, 15);
    history::HistoryStore store(app::TfrmMain::historyPath());
    const std::vector<history::RunRow> rows = history::RowsOf(store.db(), kept[0].id);
    const auto& shown = frmMain.results().rows();
    ASSERT_EQ(rows.size(), shown.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(std::to_string(rows[i].position), shown[i].pos);
        EXPECT_EQ(rows[i].url, shown[i].url);
        EXPECT_EQ(rows[i].anchor, shown[i].anchor);
    }
    EXPECT_TRUE(frmMain.HistoryNoticePanel->isHidden());
    // The open History window follows the search.
    ASSERT_EQ(frmMain.frmHistory()->tblKeywords->rowCount(), 1);
    EXPECT_EQ(frmMain.frmHistory()->selectedKeyword(), "cars&pages=2");
}

TEST_F(SearchHistoryTest, WithTheSettingOffNothingIsStoredAndTheNextStartKeepsItOff) {
    app::TfrmMain& frmMain = window();
    EXPECT_TRUE(frmMain.actKeepHistory->isChecked());
    frmMain.actKeepHistory->setChecked(false);
    frmMain.edtKeyword->setText("cars");
    frmMain.btnSearch->click();
    EXPECT_FALSE(frmMain.results().rows().empty());
    EXPECT_FALSE(fs::exists(app::TfrmMain::historyPath()));

    app::TfrmMain& again = window();
    EXPECT_FALSE(again.actKeepHistory->isChecked());
    again.actKeepHistory->setChecked(true);
    again.edtKeyword->setText("cars");
    again.btnSearch->click();
    EXPECT_EQ(runs().size(), 1u);
    EXPECT_TRUE(window().actKeepHistory->isChecked());
}

TEST_F(SearchHistoryTest, ADamagedFileNeitherStopsTheSearchNorTheExportAndMayBeMovedAside) {
    const std::string path = app::TfrmMain::historyPath();
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << std::string(8192, 'x');
    app::TfrmMain& frmMain = window();
    frmMain.edtKeyword->setText("cars");
    msg_->answer(false);
    frmMain.btnSearch->click();

    EXPECT_FALSE(frmMain.results().rows().empty());
    EXPECT_EQ(msg_->texts(), std::vector<std::string>{app::texts::HistoryDamaged(path)});
    EXPECT_FALSE(frmMain.HistoryNoticePanel->isHidden());
    EXPECT_TRUE(Text(frmMain.HistoryNoticePanel->text()).ends_with("searching on without history."))
        << Text(frmMain.HistoryNoticePanel->text());
    const std::string csv = (folder_ / "rows.csv").string();
    save_->answer(csv);
    frmMain.btnExportAll->click();
    EXPECT_TRUE(fs::exists(csv));

    // Asked once a session; said at every search.
    msg_->clearShown();
    frmMain.HistoryNoticePanel->clear();
    frmMain.btnSearch->click();
    EXPECT_TRUE(msg_->texts().empty());
    EXPECT_FALSE(frmMain.HistoryNoticePanel->text().isEmpty());

    app::TfrmMain& next = window();
    next.edtKeyword->setText("cars");
    msg_->answer(true);
    next.btnSearch->click();
    EXPECT_EQ(testsupport::ReadFileBytes(path + ".damaged"), std::string(8192, 'x'));
    EXPECT_EQ(Text(next.HistoryNoticePanel->text()),
              app::texts::HistoryMovedAside(path + ".damaged"));
    EXPECT_EQ(runs().size(), 1u);
}

TEST_F(SearchHistoryTest, AHistoryThatFailsInTheMiddleOfARunLeavesTheSearchItsRows) {
    app::TfrmMain& frmMain = window();
    frmMain.edtKeyword->setText("cars&pages=3");
    frmMain.btnSearch->click();
    const std::size_t harvested = frmMain.results().rows().size();
    ASSERT_EQ(runs().size(), 1u);
    // Once the second page is asked for, another program deletes the runs:
    // the run's next page has nowhere to go.
    auto* poll = new QTimer(&frmMain);
    poll->setInterval(0);
    QObject::connect(poll, &QTimer::timeout, poll, [this, poll] {
        if (engine_.requests().size() >= 5) {
            poll->stop();
            history::HistoryStore other(app::TfrmMain::historyPath());
            history::DeleteAllRuns(other.db());
        }
    });
    poll->start();
    frmMain.btnSearch->click();

    EXPECT_EQ(engine_.requests().size(), 6u);
    EXPECT_EQ(frmMain.results().rows().size(), harvested);
    EXPECT_TRUE(Text(frmMain.HistoryNoticePanel->text()).ends_with("searching on without history."))
        << Text(frmMain.HistoryNoticePanel->text());
    EXPECT_TRUE(runs().empty());
}

TEST_F(SearchHistoryTest, ClearHistoryAsksFirst) {
    app::TfrmMain& frmMain = window();
    frmMain.edtKeyword->setText("cars");
    frmMain.btnSearch->click();
    frmMain.btnSearch->click();
    msg_->answer(false);
    frmMain.actClearHistory->trigger();
    EXPECT_EQ(msg_->texts(), std::vector<std::string>{app::texts::kConfirmClearHistory});
    EXPECT_EQ(runs().size(), 2u);
    msg_->answer(true);
    frmMain.actClearHistory->trigger();
    EXPECT_TRUE(runs().empty());
}

// shoes, on three days:   boots, once:
//   Jan 1: a b c d          Jan 2: a x
//   Jan 2: b www.a d e
//   Jan 3: d b e f
// followed: a, b, d and f.
class HistoryWindowTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        addRun("shoes", "2026-01-01T08:00:00Z", {"a", "b", "c", "d"});
        addRun("shoes", "2026-01-02T08:00:00Z", {"b", "www.a", "d", "e"});
        addRun("boots", "2026-01-02T09:00:00Z", {"a", "x"});
        addRun("shoes", "2026-01-03T08:00:00Z", {"d", "b", "e", "f"});
        app::WriteUserSettings({{app::settings_keys::kTrackedDomains,
                                 QStringList{"a.example", "b.example", "d.example", "f.example"}}});
        history_ = std::make_unique<app::HistoryWindow>(path_, dialog_);
        history_->refresh();
    }

    void addRun(const std::string& keyword, const char* started,
                const std::vector<std::string>& hosts) {
        history::HistoryStore store(path_);
        const auto run = store.beginRun(
            {.keyword = keyword, .started = *util::ParseUtcTime(started), .version = "2.0"});
        std::vector<history::StoredRow> rows;
        for (std::size_t i = 0; i < hosts.size(); ++i) {
            rows.push_back({.position = static_cast<std::int64_t>(i + 1),
                            .anchor = hosts[i],
                            .url = "http://" + hosts[i] + ".example/",
                            .engineSite = "www.google.com"});
        }
        store.addPage(*run, rows);
        store.finishRun(*run, history::Outcome::Complete, 0);
    }

    void select(const std::string& keyword) {
        for (int row = 0; row < history_->tblKeywords->rowCount(); ++row) {
            if (Text(history_->tblKeywords->item(row, 0)->text()) == keyword) {
                history_->tblKeywords->selectRow(row);
                return;
            }
        }
        ADD_FAILURE() << "no keyword " << keyword;
    }

    // Each line of the chart by its name, as (time, position) points.
    std::map<std::string, Points> lines() const {
        std::map<std::string, Points> points;
        for (QAbstractSeries* series : history_->chart()->series()) {
            const auto* xy = qobject_cast<QXYSeries*>(series);
            points[Text(series->name())] = xy->points();
        }
        return points;
    }

    static qreal day(int d) {
        return static_cast<qreal>(
            QDateTime(QDate(2026, 1, d), QTime(8, 0), Qt::UTC).toMSecsSinceEpoch());
    }

    std::vector<std::string> column(QTableWidget* table, int column) const {
        std::vector<std::string> texts;
        for (int row = 0; row < table->rowCount(); ++row) {
            texts.push_back(Text(table->item(row, column)->text()));
        }
        return texts;
    }

    std::string path_ = (data_ / "history.sqlite3").string();
    app::ScriptedMessageDialog dialog_;
    std::unique_ptr<app::HistoryWindow> history_;
};

TEST_F(HistoryWindowTest, TheKeywordListMarksEachFollowedDomainsMove) {
    QTableWidget* list = history_->tblKeywords;
    ASSERT_EQ(list->rowCount(), 2);
    ASSERT_EQ(list->columnCount(), 7);
    EXPECT_EQ(Text(list->horizontalHeaderItem(3)->text()), "a.example");
    EXPECT_EQ(column(list, 0), (std::vector<std::string>{"boots", "shoes"}));
    EXPECT_EQ(column(list, 1), (std::vector<std::string>{"2026-01-02 09:00", "2026-01-03 08:00"}));
    EXPECT_EQ(column(list, 2), (std::vector<std::string>{"1", "3"}));
    // boots has no run before: positions without marks.
    EXPECT_EQ(column(list, 3), (std::vector<std::string>{"1", "lost (was 2)"}));
    EXPECT_EQ(column(list, 4), (std::vector<std::string>{"", "2 (down 1)"}));
    EXPECT_EQ(column(list, 5), (std::vector<std::string>{"", "1 (up 2)"}));
    EXPECT_EQ(column(list, 6), (std::vector<std::string>{"", "4 (new)"}));
}

TEST_F(HistoryWindowTest, TheChartDrawsEachFollowedDomainOnAReversedAxisOfThePositionsSeen) {
    select("shoes");
    EXPECT_EQ(lines(), (std::map<std::string, Points>{
                           {"a.example", {{day(1), 1}, {day(2), 2}}},
                           {"b.example", {{day(1), 2}, {day(2), 1}, {day(3), 2}}},
                           {"d.example", {{day(1), 4}, {day(2), 3}, {day(3), 1}}},
                           {"f.example", {{day(3), 4}}},
                           {"Best position", {{day(1), 1}, {day(2), 1}, {day(3), 1}, {day(3), 4}}},
                       }));
    const auto axes = history_->chart()->axes(Qt::Vertical);
    ASSERT_EQ(axes.size(), 1);
    const auto* position = qobject_cast<QValueAxis*>(axes[0]);
    ASSERT_NE(position, nullptr);
    EXPECT_TRUE(position->isReverse());
    EXPECT_EQ(position->min(), 0.5);
    EXPECT_EQ(position->max(), 4.5);

    // boots: a at 1 alone.
    select("boots");
    EXPECT_EQ(lines()["a.example"], (Points{{day(2) + 3600 * 1000, 1}}));
    EXPECT_EQ(position = qobject_cast<QValueAxis*>(history_->chart()->axes(Qt::Vertical)[0]),
              position);
    EXPECT_EQ(position->min(), 0.5);
    EXPECT_EQ(position->max(), 1.5);
}

TEST_F(HistoryWindowTest, TopCompetitorsAreTheBestOtherDomainsOnRequest) {
    select("shoes");
    history_->chkCompetitors->setChecked(true);
    const auto drawn = lines();
    EXPECT_EQ(drawn.size(), 7u);
    EXPECT_EQ(drawn.at("c.example"), (Points{{day(1), 3}}));
    EXPECT_EQ(drawn.at("e.example"), (Points{{day(2), 4}, {day(3), 3}}));
}

TEST_F(HistoryWindowTest, ARunIsListedBesideTheRunBeforeWithTheMovesMarked) {
    select("shoes");
    ASSERT_EQ(history_->cbxRun->count(), 3);
    ASSERT_NE(history_->selectedRun(), nullptr);
    EXPECT_EQ(history_->selectedRun()->started, "2026-01-03T08:00:00Z");
    EXPECT_EQ(column(history_->tblAfter, 1),
              (std::vector<std::string>{"http://d.example/", "http://b.example/",
                                        "http://e.example/", "http://f.example/"}));
    EXPECT_EQ(column(history_->tblAfter, 2),
              (std::vector<std::string>{"up 2", "down 1", "up 1", "new"}));
    EXPECT_EQ(column(history_->tblBefore, 2), (std::vector<std::string>{"", "lost", "", ""}));
    EXPECT_EQ(Text(history_->lblBefore->text()), "Run before: 2026-01-02 08:00");

    // The first run has none before it.
    history_->cbxRun->setCurrentIndex(2);
    EXPECT_EQ(history_->tblBefore->rowCount(), 0);
    EXPECT_EQ(column(history_->tblAfter, 2), (std::vector<std::string>{"", "", "", ""}));
}

TEST_F(HistoryWindowTest, DeletingARunAKeywordOrAllAsksFirst) {
    select("shoes");
    const std::string question = app::texts::ConfirmDeleteRun("shoes", "2026-01-03 08:00");
    dialog_.answer(false);
    history_->btnDeleteRun->click();
    EXPECT_EQ(dialog_.texts(), std::vector<std::string>{question});
    EXPECT_EQ(history_->cbxRun->count(), 3);

    dialog_.answer(true);
    history_->btnDeleteRun->click();
    EXPECT_EQ(history_->selectedKeyword(), "shoes");
    EXPECT_EQ(history_->cbxRun->count(), 2);
    EXPECT_EQ(history_->selectedRun()->started, "2026-01-02T08:00:00Z");
    EXPECT_EQ(column(history_->tblKeywords, 1),
              (std::vector<std::string>{"2026-01-02 09:00", "2026-01-02 08:00"}));

    dialog_.clearShown();
    dialog_.answer(true);
    history_->btnDeleteKeyword->click();
    EXPECT_EQ(dialog_.texts(),
              std::vector<std::string>{app::texts::ConfirmDeleteKeyword("shoes", 2)});
    EXPECT_EQ(column(history_->tblKeywords, 0), std::vector<std::string>{"boots"});

    dialog_.answer(false);
    history_->btnDeleteAll->click();
    EXPECT_EQ(history_->tblKeywords->rowCount(), 1);
    dialog_.answer(true);
    history_->btnDeleteAll->click();
    EXPECT_EQ(history_->tblKeywords->rowCount(), 0);
    EXPECT_EQ(history_->cbxRun->count(), 0);
    EXPECT_FALSE(history_->btnDeleteRun->isEnabled());
    history::HistoryStore store(path_);
    EXPECT_TRUE(history::ListRuns(store.db()).empty());
}

TEST_F(HistoryWindowTest, TrackedDomainsAreEditedInTheWindowAndKept) {
    history_->edtDomains->setText("Example.COM, co.uk  b.example,example.com");
    emit history_->edtDomains->editingFinished();
    EXPECT_EQ(Text(history_->edtDomains->text()), "example.com, b.example");
    EXPECT_EQ(Text(history_->lblStatus->text()), app::texts::DomainsLeftOut("co.uk", 8));
    EXPECT_EQ(history_->tblKeywords->columnCount(), 5);
    EXPECT_EQ(app::ReadUserSettings().trackedDomains, (QStringList{"example.com", "b.example"}));
    app::HistoryWindow reopened(path_, dialog_);
    EXPECT_EQ(Text(reopened.edtDomains->text()), "example.com, b.example");
}

}  // namespace

namespace {

// The domain box sends its editing's end when the focus leaves it, also
// while the window is being destroyed.
TEST_F(HistoryWindowTest, DestroyingTheWindowWhileTheDomainsAreEditedKeepsTheKeptOnes) {
    history_->show();
    QApplication::setActiveWindow(history_.get());
    history_->edtDomains->setFocus();
    history_->edtDomains->setText("new.example");
    history_.reset();
    EXPECT_EQ(app::ReadUserSettings().trackedDomains,
              (QStringList{"a.example", "b.example", "d.example", "f.example"}));
}

}  // namespace

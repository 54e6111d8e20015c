#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QHelpEvent>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QToolTip>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>

#include "app/cell_tip_delegate.h"
#include "app/result_list_model.h"
#include "app/result_sort_model.h"
#include "tests/app/browser_script.h"
#include "tests/support/wait_until.h"
#include "util/line_file.h"
#include "window_fixture.h"

namespace {

using app::MessageDialog;

class ResultListTest : public WindowTest {
protected:
    app::TfrmMain& windowWithRows(int count) {
        app::TfrmMain& w = makeWindow();
        w.show();
        for (int i = 1; i <= count; ++i) {
            w.results().appendRow({std::to_string(i), "anchor " + std::to_string(i),
                                   "http://x/" + std::to_string(i), "http://www.google.com"});
        }
        return w;
    }

    void selectRows(std::initializer_list<int> rows) {
        for (const int row : rows) {
            window_->lvwResults->selectionModel()->select(
                window_->resultView().index(row, 0),
                QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }

    std::vector<std::string> positions() const {
        std::vector<std::string> pos;
        for (const auto& row : window_->results().rows()) {
            pos.push_back(row.pos);
        }
        return pos;
    }

    std::vector<int> selectedRows() const {
        std::vector<int> rows;
        for (const auto& index : window_->lvwResults->selectionModel()->selectedRows()) {
            rows.push_back(index.row());
        }
        std::sort(rows.begin(), rows.end());
        return rows;
    }

    QString countText() const { return window_->SecondStatusPanel->text(); }
};

TEST_F(ResultListTest, SelectAllAndClearSelection) {
    app::TfrmMain& w = windowWithRows(3);
    w.SecondStatusPanel->setText("3 items");
    QTest::mouseClick(w.btnSelectAll, Qt::LeftButton);
    EXPECT_EQ(selectedRows(), (std::vector<int>{0, 1, 2}));
    QTest::mouseClick(w.btnClearSell, Qt::LeftButton);
    EXPECT_TRUE(selectedRows().empty());
    EXPECT_EQ(countText(), "3 items");
    EXPECT_TRUE(msg_->shown().empty());
}

TEST_F(ResultListTest, DeleteSelectedKeepsPosTextsWithGaps) {
    app::TfrmMain& w = windowWithRows(5);
    selectRows({1, 3});
    msg_->answer(true);
    QTest::mouseClick(w.btnDelSel, Qt::LeftButton);
    ASSERT_EQ(msg_->shown().size(), 1u);
    EXPECT_EQ(msg_->shown()[0].text, "Are you sure to delete the selected item(s)?");
    EXPECT_EQ(msg_->shown()[0].kind, MessageDialog::Kind::Warning);
    EXPECT_EQ(msg_->shown()[0].buttons, MessageDialog::Buttons::OkCancel);
    EXPECT_EQ(positions(), (std::vector<std::string>{"1", "3", "5"}));
    EXPECT_EQ(w.results().rows()[1].anchor, "anchor 3");
    EXPECT_EQ(countText(), "3 items listed");
}

TEST_F(ResultListTest, DeleteSelectedOfAllAdjacentAndScatteredRows) {
    app::TfrmMain& w = windowWithRows(7);
    selectRows({0, 1, 2, 5, 6});
    msg_->answer(true);
    QTest::mouseClick(w.btnDelSel, Qt::LeftButton);
    EXPECT_EQ(positions(), (std::vector<std::string>{"4", "5"}));
    EXPECT_EQ(countText(), "2 items listed");
}

TEST_F(ResultListTest, DeleteSelectedWithNothingSelectedOnlyUpdatesTheCount) {
    app::TfrmMain& w = windowWithRows(5);
    w.SecondStatusPanel->setText("5 items");
    msg_->answer(true);
    QTest::mouseClick(w.btnDelSel, Qt::LeftButton);
    EXPECT_EQ(positions().size(), 5u);
    EXPECT_EQ(countText(), "5 items listed");
}

TEST_F(ResultListTest, DeleteAllGivesThePluralCount) {
    app::TfrmMain& w = windowWithRows(2);
    msg_->answer(true);
    QTest::mouseClick(w.btnDelAll, Qt::LeftButton);
    EXPECT_EQ(msg_->texts(), std::vector<std::string>{"Are you sure to delete all?"});
    EXPECT_EQ(msg_->shown()[0].buttons, MessageDialog::Buttons::OkCancel);
    EXPECT_EQ(w.results().rowCount(), 0);
    EXPECT_EQ(countText(), "0 items listed");
}

TEST_F(ResultListTest, CancelChangesNothing) {
    const struct {
        const char* name;
        QPushButton* app::TfrmMain::*button;
    } cases[] = {{.name = "Delete Selected", .button = &app::TfrmMain::btnDelSel},
                 {.name = "Delete All", .button = &app::TfrmMain::btnDelAll}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        app::TfrmMain& w = windowWithRows(4);
        w.SecondStatusPanel->setText("4 items");
        selectRows({0, 2});
        msg_->answer(false);
        QTest::mouseClick(w.*c.button, Qt::LeftButton);
        EXPECT_EQ(msg_->shown().size(), 1u);
        EXPECT_EQ(positions(), (std::vector<std::string>{"1", "2", "3", "4"}));
        EXPECT_EQ(selectedRows(), (std::vector<int>{0, 2}));
        EXPECT_EQ(countText(), "4 items");
    }
}

TEST_F(ResultListTest, EmptyListOnlyShowsTheNotice) {
    for (const bool answer : {true, false}) {
        for (QPushButton* app::TfrmMain::*button :
             {&app::TfrmMain::btnDelSel, &app::TfrmMain::btnDelAll}) {
            app::TfrmMain& w = windowWithRows(0);
            msg_->answer(answer);
            QTest::mouseClick(w.*button, Qt::LeftButton);
            ASSERT_EQ(msg_->texts(), std::vector<std::string>{"There are no items to delete."});
            EXPECT_EQ(msg_->shown()[0].kind, MessageDialog::Kind::Warning);
            EXPECT_EQ(msg_->shown()[0].buttons, MessageDialog::Buttons::OkCancel);
            EXPECT_EQ(countText(), "0 item listed");
        }
    }
}

TEST_F(ResultListTest, DeleteKeyRunsDeleteSelectedWithItsConfirmation) {
    const struct {
        bool ok;
        std::vector<std::string> left;
    } cases[] = {{.ok = true, .left = {"1", "4"}}, {.ok = false, .left = {"1", "2", "3", "4"}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ok ? "OK" : "Cancel");
        app::TfrmMain& w = windowWithRows(4);
        selectRows({1, 2});
        msg_->answer(c.ok);
        QTest::keyClick(w.lvwResults, Qt::Key_Delete);
        EXPECT_EQ(msg_->texts(),
                  std::vector<std::string>{"Are you sure to delete the selected item(s)?"});
        EXPECT_EQ(positions(), c.left);
    }
}

TEST_F(ResultListTest, CtrlCCopiesTheSelectedRowsAsTabSeparatedText) {
    app::TfrmMain& w = windowWithRows(3);
    w.results().appendRow(
        {"4", "Caf\xC3\xA9\tau\r\nlait", "http://x/4\t", "http://www.google.com"});
    QClipboard& clipboard = *QGuiApplication::clipboard();
    clipboard.setText("before");
    QTest::keyClick(w.lvwResults, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard.text(), "before") << "nothing selected, nothing copied";

    // A few rows, in the grid's order, without the titles; a tab or a line
    // break inside a field would split the row.
    selectRows({3, 0});
    QTest::keyClick(w.lvwResults, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard.text(), QStringLiteral("1\tanchor 1\thttp://x/1\thttp://www.google.com\n"
                                               "4\tCaf\u00e9 au  lait\thttp://x/4 \t"
                                               "http://www.google.com\n"));

    w.btnSelectAll->click();
    QTest::keyClick(w.lvwResults, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard.text(), QStringLiteral("Pos\tAnchor\tURL\tEngine Site\n"
                                               "1\tanchor 1\thttp://x/1\thttp://www.google.com\n"
                                               "2\tanchor 2\thttp://x/2\thttp://www.google.com\n"
                                               "3\tanchor 3\thttp://x/3\thttp://www.google.com\n"
                                               "4\tCaf\u00e9 au  lait\thttp://x/4 \t"
                                               "http://www.google.com\n"));
    EXPECT_TRUE(msg_->shown().empty());
}

TEST_F(ResultListTest, ContextMenuActsOnTheRowUnderThePointerAndTheSelection) {
    app::TfrmMain& w = windowWithRows(3);
    selectRows({0, 2});
    QClipboard& clipboard = *QGuiApplication::clipboard();
    const auto action = [](QMenu& menu, const char* text) {
        for (QAction* a : menu.actions()) {
            if (a->text() == text) {
                return a;
            }
        }
        ADD_FAILURE() << "no " << text;
        return menu.actions().first();
    };

    const std::unique_ptr<QMenu> menu = w.createResultsMenu(1);
    QStringList texts;
    for (const QAction* a : menu->actions()) {
        texts << a->text();
        EXPECT_TRUE(a->isEnabled()) << a->text().toStdString();
    }
    EXPECT_EQ(texts, (QStringList{"Open URL", "Copy URL", "Copy rows"}));
    action(*menu, "Copy URL")->trigger();
    EXPECT_EQ(clipboard.text(), "http://x/2");
    action(*menu, "Copy rows")->trigger();
    EXPECT_EQ(clipboard.text(),
              "1\tanchor 1\thttp://x/1\thttp://www.google.com\n"
              "3\tanchor 3\thttp://x/3\thttp://www.google.com\n");

    // The row goes while the menu is open: its action has nothing to act on.
    const std::unique_ptr<QMenu> stale = w.createResultsMenu(1);
    w.results().removeRowsAt({1});
    clipboard.setText("before");
    action(*stale, "Copy URL")->trigger();
    EXPECT_EQ(clipboard.text(), "before");

    // Below the last row only the selection can be copied; without one,
    // nothing.
    const std::unique_ptr<QMenu> outside = w.createResultsMenu(-1);
    EXPECT_FALSE(action(*outside, "Open URL")->isEnabled());
    EXPECT_FALSE(action(*outside, "Copy URL")->isEnabled());
    EXPECT_TRUE(action(*outside, "Copy rows")->isEnabled());
    w.btnClearSell->click();
    EXPECT_FALSE(action(*w.createResultsMenu(0), "Copy rows")->isEnabled());
}

TEST_F(ResultListTest, DoubleClickEnterOrOpenUrlShowTheRowInTheBrowser) {
    BrowserScript browser(folder_.path());
    const struct {
        const char* name;
        std::function<void(app::TfrmMain&)> act;
    } cases[] = {
        {.name = "double-click",
         .act =
             [](app::TfrmMain& w) {
                 const QRect cell = w.lvwResults->visualRect(w.resultView().index(1, 1));
                 // Press, release, double-click, release: as a mouse sends them.
                 QWidget* viewport = w.lvwResults->viewport();
                 QTest::mouseClick(viewport, Qt::LeftButton, {}, cell.center());
                 QTest::mouseDClick(viewport, Qt::LeftButton, {}, cell.center());
                 QTest::mouseRelease(viewport, Qt::LeftButton, {}, cell.center());
             }},
        {.name = "Enter",
         .act =
             [](app::TfrmMain& w) {
                 w.lvwResults->setCurrentIndex(w.resultView().index(1, 0));
                 QTest::keyClick(w.lvwResults, Qt::Key_Return);
             }},
        {.name = "Open URL",
         .act = [](app::TfrmMain& w) { w.createResultsMenu(1)->actions().first()->trigger(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        app::TfrmMain& w = windowWithRows(3);
        c.act(w);
        EXPECT_EQ(browser.nextStart(), std::vector<std::string>{"http://x/2"});
        EXPECT_TRUE(msg_->shown().empty());
    }
}

// A hit's link comes from the engine's page: one that is no web address is
// refused with a word in the status bar, and the browser never sees it.
TEST_F(ResultListTest, LinkThatIsNoWebUrlIsRefusedWithAStatusText) {
    BrowserScript browser(folder_.path());
    const std::string refused =
        "The URL is not an http or https address; it is not opened in the web browser.";
    const struct {
        const char* name;
        std::function<void(app::TfrmMain&)> act;
    } acts[] = {
        {.name = "Enter",
         .act =
             [](app::TfrmMain& w) {
                 w.lvwResults->setCurrentIndex(w.resultView().index(1, 0));
                 QTest::keyClick(w.lvwResults, Qt::Key_Return);
             }},
        {.name = "double-click",
         .act =
             [](app::TfrmMain& w) {
                 const QRect cell = w.lvwResults->visualRect(w.resultView().index(1, 1));
                 QWidget* viewport = w.lvwResults->viewport();
                 QTest::mouseClick(viewport, Qt::LeftButton, {}, cell.center());
                 QTest::mouseDClick(viewport, Qt::LeftButton, {}, cell.center());
                 QTest::mouseRelease(viewport, Qt::LeftButton, {}, cell.center());
             }},
        {.name = "Open URL",
         .act = [](app::TfrmMain& w) { w.createResultsMenu(1)->actions().first()->trigger(); }},
    };
    for (const std::string& link :
         {std::string("--renderer-cmd-prefix=touch x"), std::string("-dash-arg"),
          std::string("file:///etc/passwd"), std::string("JavaScript:alert(1)"),
          std::string("data:text/html,x"), std::string(" http://x/2")}) {
        for (const auto& a : acts) {
            SCOPED_TRACE(link + " / " + a.name);
            app::TfrmMain& w = makeWindow();
            w.show();
            w.results().appendRow({"1", "anchor 1", "http://x/1", "http://www.google.com"});
            w.results().appendRow({"2", "anchor 2", link, "http://www.google.com"});
            w.MainStatusPanel->setText("before");
            a.act(w);
            EXPECT_EQ(w.MainStatusPanel->text().toStdString(), refused);
            EXPECT_TRUE(msg_->shown().empty());
        }
    }
    // The next web link opens as ever, and it is the only start there was.
    app::TfrmMain& w = windowWithRows(1);
    w.lvwResults->setCurrentIndex(w.resultView().index(0, 0));
    QTest::keyClick(w.lvwResults, Qt::Key_Return);
    EXPECT_EQ(browser.nextStart(), std::vector<std::string>{"http://x/1"});
}

TEST_F(ResultListTest, ACellCutOffShowsItsWholeTextAsTooltip) {
    app::TfrmMain& w = windowWithRows(1);
    const std::string longAnchor = "word <b>bold</b> " + std::string(400, 'x') + " end";
    w.results().appendRow({"2", longAnchor, "http://x/2", "http://www.google.com"});
    QApplication::processEvents();
    auto* delegate = qobject_cast<app::CellTipDelegate*>(w.lvwResults->itemDelegate());
    ASSERT_NE(delegate, nullptr);
    const auto cut = [&](int row, int column) {
        const QModelIndex index = w.resultView().index(row, column);
        QStyleOptionViewItem option;
        option.initFrom(w.lvwResults->viewport());
        option.widget = w.lvwResults;
        option.rect = w.lvwResults->visualRect(index);
        return delegate->cutsText(option, index);
    };
    EXPECT_FALSE(cut(0, app::ResultListModel::ColAnchor));
    EXPECT_FALSE(cut(0, app::ResultListModel::ColPos));
    EXPECT_TRUE(cut(1, app::ResultListModel::ColAnchor));

    const QRect cell = w.lvwResults->visualRect(w.resultView().index(1, 1));
    QHelpEvent help(QEvent::ToolTip, cell.center(),
                    w.lvwResults->viewport()->mapToGlobal(cell.center()));
    QApplication::sendEvent(w.lvwResults->viewport(), &help);
    // The whole anchor, its tags as text.
    EXPECT_TRUE(QToolTip::text().contains(QString::fromStdString(std::string(400, 'x')) + " end"))
        << QToolTip::text().toStdString();
    EXPECT_TRUE(QToolTip::text().contains("&lt;b&gt;bold&lt;/b&gt;"))
        << QToolTip::text().toStdString();
    QToolTip::hideText();
}

TEST_F(ResultListTest, AnchorAndUrlShareTheRoomBeyondTheDesignedWidths) {
    app::TfrmMain& w = windowWithRows(1);
    const auto widths = [&] {
        std::array<int, 4> result{};
        for (int column = 0; column < 4; ++column) {
            result[column] = w.lvwResults->columnWidth(column);
        }
        return result;
    };
    const auto room = [&] { return w.lvwResults->viewport()->width(); };
    const int designed = 80 + 300 + 200 + 150;

    for (const int windowWidth : {843, 1300}) {
        SCOPED_TRACE(windowWidth);
        w.resize(windowWidth, 542);
        QApplication::processEvents();
        ASSERT_GT(room(), designed);
        const auto [pos, anchor, url, site] = widths();
        EXPECT_EQ(pos, 80);
        EXPECT_EQ(site, 150);
        EXPECT_EQ(pos + anchor + url + site, room());
        EXPECT_LE(std::abs((anchor - 300) - (url - 200)), 1);
    }

    // Narrower than the designed widths: they stay, and the grid scrolls.
    w.resize(w.minimumSizeHint().width(), 542);
    QApplication::processEvents();
    if (room() < designed) {
        EXPECT_EQ(widths(), (std::array<int, 4>{80, 300, 200, 150}));
    }

    // A width the user drags stays that column's own at the next resize.
    w.resize(1000, 542);
    QApplication::processEvents();
    w.lvwResults->horizontalHeader()->resizeSection(0, 130);
    w.resize(1100, 542);
    QApplication::processEvents();
    const auto [pos, anchor, url, site] = widths();
    EXPECT_EQ(pos, 130);
    EXPECT_EQ(site, 150);
    EXPECT_EQ(pos + anchor + url + site, room());
}

// A grid whose rows are not in their texts' order, for the header clicks.
class SortedGridTest : public ResultListTest {
protected:
    // Pos, anchor and URL of each row, in harvest order; 3 is a gap a
    // deletion left.
    app::TfrmMain& windowWithUnorderedRows() {
        app::TfrmMain& w = makeWindow();
        w.show();
        const std::vector<std::array<std::string, 3>> rows = {{"1", "delta", "http://x/d"},
                                                              {"2", "Alpha", "http://x/a"},
                                                              {"4", "charlie", "http://x/c"},
                                                              {"5", "bravo", "http://x/b"},
                                                              {"6", "alpha", "http://x/a2"}};
        for (const auto& [pos, anchor, url] : rows) {
            w.results().appendRow({pos, anchor, url, "http://www.google.com"});
        }
        return w;
    }

    void clickHeader(int column) {
        QHeaderView* header = window_->lvwResults->horizontalHeader();
        const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    }

    // The grid's rows top to bottom, each as "pos anchor" as shown.
    std::vector<std::string> shown() const {
        const QAbstractItemModel* view = window_->lvwResults->model();
        std::vector<std::string> rows;
        for (int row = 0; row < view->rowCount(); ++row) {
            rows.push_back((view->index(row, app::ResultListModel::ColPos).data().toString() + ' ' +
                            view->index(row, app::ResultListModel::ColAnchor).data().toString())
                               .toStdString());
        }
        return rows;
    }

    const std::vector<std::string> harvestOrder_ = {"1 delta", "2 Alpha", "4 charlie", "5 bravo",
                                                    "6 alpha"};
};

// A first click sorts ascending, the next one descending; each row keeps
// its Pos, rows of equal text keep their harvest order, and Pos sorts back
// to the harvest order, gaps and all.
TEST_F(SortedGridTest, HeaderClicksSortTheViewAndPosRestoresHarvestOrder) {
    app::TfrmMain& w = windowWithUnorderedRows();
    EXPECT_EQ(shown(), harvestOrder_);
    const struct {
        const char* name;
        int column;
        std::vector<std::string> rows;
    } clicks[] = {
        {.name = "Anchor",
         .column = app::ResultListModel::ColAnchor,
         .rows = {"2 Alpha", "6 alpha", "5 bravo", "4 charlie", "1 delta"}},
        {.name = "Anchor again",
         .column = app::ResultListModel::ColAnchor,
         .rows = {"1 delta", "4 charlie", "5 bravo", "2 Alpha", "6 alpha"}},
        {.name = "URL",
         .column = app::ResultListModel::ColUrl,
         .rows = {"2 Alpha", "6 alpha", "5 bravo", "4 charlie", "1 delta"}},
        {.name = "Pos", .column = app::ResultListModel::ColPos, .rows = harvestOrder_},
        {.name = "Pos again",
         .column = app::ResultListModel::ColPos,
         .rows = {"6 alpha", "5 bravo", "4 charlie", "2 Alpha", "1 delta"}},
        {.name = "Pos once more", .column = app::ResultListModel::ColPos, .rows = harvestOrder_},
    };
    for (const auto& c : clicks) {
        SCOPED_TRACE(c.name);
        clickHeader(c.column);
        EXPECT_EQ(shown(), c.rows);
    }
    // The rows themselves stay in harvest order.
    EXPECT_EQ(positions(), (std::vector<std::string>{"1", "2", "4", "5", "6"}));

    // Rows a search adds to a sorted grid take their place in its order.
    clickHeader(app::ResultListModel::ColAnchor);
    w.results().appendRow({"7", "beta", "http://x/b2", "http://www.google.com"});
    EXPECT_EQ(shown(), (std::vector<std::string>{"2 Alpha", "6 alpha", "7 beta", "5 bravo",
                                                 "4 charlie", "1 delta"}));
}

// Whatever acts on a row of a sorted grid acts on the row shown there, not
// on the row of the same number in harvest order.
TEST_F(SortedGridTest, ActionsOnASortedGridTakeTheRowShown) {
    BrowserScript browser(folder_.path());
    QClipboard& clipboard = *QGuiApplication::clipboard();
    // Sorted by anchor the grid shows Alpha, alpha, bravo, charlie, delta;
    // its second row is harvest row 5 ("6 alpha").
    const struct {
        const char* name;
        std::function<void(app::TfrmMain&)> act;
        std::string opened = {};
        QString copied = {};
    } cases[] = {
        {.name = "Enter",
         .act =
             [](app::TfrmMain& w) {
                 w.lvwResults->setCurrentIndex(w.resultView().index(1, 0));
                 QTest::keyClick(w.lvwResults, Qt::Key_Return);
             },
         .opened = "http://x/a2"},
        {.name = "double-click",
         .act =
             [](app::TfrmMain& w) {
                 const QRect cell = w.lvwResults->visualRect(w.resultView().index(1, 1));
                 QWidget* viewport = w.lvwResults->viewport();
                 QTest::mouseClick(viewport, Qt::LeftButton, {}, cell.center());
                 QTest::mouseDClick(viewport, Qt::LeftButton, {}, cell.center());
                 QTest::mouseRelease(viewport, Qt::LeftButton, {}, cell.center());
             },
         .opened = "http://x/a2"},
        {.name = "Open URL",
         .act = [](app::TfrmMain& w) { w.createResultsMenu(1)->actions().first()->trigger(); },
         .opened = "http://x/a2"},
        {.name = "Copy URL",
         .act = [](app::TfrmMain& w) { w.createResultsMenu(1)->actions().at(1)->trigger(); },
         .copied = "http://x/a2"},
        {.name = "Ctrl+C copies in the grid's order",
         .act =
             [this](app::TfrmMain& w) {
                 selectRows({4, 1});
                 QTest::keyClick(w.lvwResults, Qt::Key_C, Qt::ControlModifier);
             },
         .copied = "6\talpha\thttp://x/a2\thttp://www.google.com\n"
                   "1\tdelta\thttp://x/d\thttp://www.google.com\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        app::TfrmMain& w = windowWithUnorderedRows();
        clickHeader(app::ResultListModel::ColAnchor);
        clipboard.setText("before");
        c.act(w);
        if (!c.opened.empty()) {
            EXPECT_EQ(browser.nextStart(), std::vector<std::string>{c.opened});
        }
        EXPECT_EQ(clipboard.text(), c.copied.isEmpty() ? QStringLiteral("before") : c.copied);
        EXPECT_TRUE(msg_->shown().empty());
    }

    // Delete Selected removes the rows shown selected.
    app::TfrmMain& w = windowWithUnorderedRows();
    clickHeader(app::ResultListModel::ColAnchor);
    selectRows({0, 4});
    msg_->answer(true);
    w.btnDelSel->click();
    EXPECT_EQ(positions(), (std::vector<std::string>{"4", "5", "6"}));
    EXPECT_EQ(shown(), (std::vector<std::string>{"6 alpha", "5 bravo", "4 charlie"}));
}

// A cut-off cell of a sorted grid shows its own text as its tooltip.
TEST_F(SortedGridTest, TooltipOfASortedGridIsTheCellsOwnText) {
    app::TfrmMain& w = windowWithUnorderedRows();
    const std::string longAnchor = "aardvark " + std::string(400, 'x') + " end";
    w.results().appendRow({"7", longAnchor, "http://x/long", "http://www.google.com"});
    clickHeader(app::ResultListModel::ColAnchor);
    QApplication::processEvents();
    // First by anchor, last in harvest order.
    const QRect cell = w.lvwResults->visualRect(w.resultView().index(0, 1));
    QHelpEvent help(QEvent::ToolTip, cell.center(),
                    w.lvwResults->viewport()->mapToGlobal(cell.center()));
    QApplication::sendEvent(w.lvwResults->viewport(), &help);
    EXPECT_TRUE(QToolTip::text().contains(QString::fromStdString(longAnchor)))
        << QToolTip::text().toStdString();
    QToolTip::hideText();
}

// Export All writes the rows in Pos order whatever order the grid shows.
TEST_F(SortedGridTest, ExportOfASortedGridIsInPosOrder) {
    app::TfrmMain& w = windowWithUnorderedRows();
    clickHeader(app::ResultListModel::ColAnchor);
    clickHeader(app::ResultListModel::ColAnchor);
    const std::string path = (folder_ / "sorted.csv").string();
    save_->answer(path);
    w.btnExportAll->click();
    std::vector<std::string> lines = util::ReadLineFile(path);
    ASSERT_EQ(lines.size(), 6u);
    lines.erase(lines.begin());
    std::vector<std::string> anchors;
    for (const std::string& line : lines) {
        anchors.push_back(line.substr(0, line.find(",\"http")));
    }
    EXPECT_EQ(anchors,
              (std::vector<std::string>{"\"1\",\"delta\"", "\"2\",\"Alpha\"", "\"4\",\"charlie\"",
                                        "\"5\",\"bravo\"", "\"6\",\"alpha\""}));
}

TEST(ResultListModel, RemovesRowsAtAnyIndexesOnce) {
    app::ResultListModel model;
    for (int i = 0; i < 6; ++i) {
        model.appendRow({std::to_string(i), "", "", ""});
    }
    model.removeRowsAt({4, -1, 0, 4, 6, 1, 100});
    std::vector<std::string> left;
    for (const auto& row : model.rows()) {
        left.push_back(row.pos);
    }
    EXPECT_EQ(left, (std::vector<std::string>{"2", "3", "5"}));
}

TEST(ResultListModel, AppendsABatchInOneInsertAfterItsRows) {
    app::ResultListModel model;
    model.appendRow({"1", "", "", ""});
    std::vector<std::pair<int, int>> inserts;
    QObject::connect(
        &model, &QAbstractItemModel::rowsInserted,
        [&](const QModelIndex&, int first, int last) { inserts.emplace_back(first, last); });
    model.appendRows({});
    model.appendRows({{"2", "", "", ""}, {"3", "", "", ""}, {"4", "", "", ""}});
    EXPECT_EQ(inserts, (std::vector<std::pair<int, int>>{{1, 3}}));
    std::vector<std::string> pos;
    for (const auto& row : model.rows()) {
        pos.push_back(row.pos);
    }
    EXPECT_EQ(pos, (std::vector<std::string>{"1", "2", "3", "4"}));
    EXPECT_EQ(model.rowCount(), 4);
}

TEST(ResultListModel, HoldsTheBytesAndShowsThemAsUtf8) {
    app::ResultListModel model;
    const search::ResultRow row{"1", "Caf\xC3\xA9 \"quoted\", comma", "http://x/\xFF", "site"};
    model.appendRow(row);
    EXPECT_EQ(model.rows().at(0), row);
    EXPECT_EQ(model.data(model.index(0, 3)).toString(), "site");
    EXPECT_EQ(model.data(model.index(0, 1)).toString(),
              QStringLiteral("Caf\u00e9 \"quoted\", comma"));
    // A byte that is no UTF-8 shows as the replacement character, and the
    // row keeps it for the export.
    EXPECT_EQ(model.data(model.index(0, 2)).toString(), QStringLiteral("http://x/\ufffd"));
    EXPECT_EQ(model.flags(model.index(0, 1)) & Qt::ItemIsEditable, Qt::NoItemFlags);
    model.clear();
    EXPECT_EQ(model.rowCount(), 0);
}

}  // namespace

#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <algorithm>

#include "app/result_list_model.h"
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
                window_->results().index(row, 0),
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

TEST(ResultListModel, HoldsTheBytesAndShowsThemDecoded) {
    app::ResultListModel model;
    const search::ResultRow row{"1", "caf\xE9 \"quoted\", comma", "http://x/\xFF", "site"};
    model.appendRow(row);
    EXPECT_EQ(model.rows().at(0), row);
    EXPECT_EQ(model.data(model.index(0, 3)).toString(), "site");
    EXPECT_EQ(model.data(model.index(0, 1)).toString(), QString::fromLocal8Bit(row.anchor.c_str()));
    EXPECT_EQ(model.flags(model.index(0, 1)) & Qt::ItemIsEditable, Qt::NoItemFlags);
    model.clear();
    EXPECT_EQ(model.rowCount(), 0);
}

}  // namespace

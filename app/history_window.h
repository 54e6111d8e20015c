// The History window: the keywords of the rank history with where the
// followed domains stand, a keyword's positions over time as a chart, and a
// run's whole result list beside the run before with the moves marked.
#pragma once

#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "history/history_store.h"
#include "history/positions.h"
#include "history/run_queries.h"

class QCheckBox;
class QChart;
class QChartView;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace app {

class MessageDialog;
class StatusLabel;

class HistoryWindow final : public QWidget {
    Q_OBJECT

public:
    // A run's list beyond this many rows is left out of the comparison:
    // engines give a keyword a few hundred hits, and no one reads thousands
    // of lines side by side. The moves are still worked out on the whole.
    static constexpr int kMaxComparedRows = 1000;
    // The other domains drawn on request: the best ones of the keyword.
    static constexpr std::size_t kCompetitors = 3;

    // path: the history file, not made while it is not there. The window's
    // questions go through dialog.
    HistoryWindow(std::string path, MessageDialog& dialog, QWidget* parent = nullptr);
    ~HistoryWindow() override;

    // Reads the history again, keeping the keyword shown. Never throws: a
    // history that cannot be read is said in the window's status.
    void refresh();

    // The keyword whose runs are shown; "" for none.
    std::string selectedKeyword() const;
    // The run the lists compare with the one before; null for none.
    const history::RunInfo* selectedRun() const;
    QChart* chart() const;

    void edtDomainsEditingFinished();
    void btnDeleteRunClick();
    void btnDeleteKeywordClick();
    void btnDeleteAllClick();

    QLineEdit* edtDomains;
    QCheckBox* chkCompetitors;
    QTableWidget* tblKeywords;
    QChartView* chvPositions;
    QComboBox* cbxRun;
    QLabel* lblBefore;
    QLabel* lblAfter;
    QTableWidget* tblBefore;
    QTableWidget* tblAfter;
    QPushButton* btnDeleteRun;
    QPushButton* btnDeleteKeyword;
    QPushButton* btnDeleteAll;
    StatusLabel* lblStatus;

private:
    // Runs work; a failure of the history is said in the status.
    void guarded(const std::function<void()>& work);
    // The open history, or null while there is no file.
    sqlite3* database();
    void fillKeywords();
    void showKeyword();
    void drawChart(const history::PositionTable& table,
                   const std::vector<history::DomainPositions>& competitors);
    void showRun();
    void setDomains(const QStringList& domains);
    void deleteAndRefresh(const std::function<void(sqlite3*)>& remove);

    std::string path_;
    MessageDialog& dialog_;
    std::unique_ptr<history::HistoryStore> store_;
    QStringList domains_;
    // The keywords as listed, and the runs of the one selected, oldest first.
    std::vector<std::string> keywords_;
    std::vector<history::RunInfo> runs_;
};

}  // namespace app

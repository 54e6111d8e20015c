// The main window's search and its results: Search and Stop, Export All, the
// list buttons, and the grid's keys, menu and clipboard.
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableView>
#include <algorithm>
#include <exception>

#include "app/export_name.h"
#include "app/f_main.h"
#include "app/history_window.h"
#include "app/program_text.h"
#include "app/result_list_model.h"
#include "app/result_sort_model.h"
#include "app/user_settings.h"
#include "app/window_search_host.h"
#include "app/window_texts.h"
#include "search/csv_export.h"
#include "search/search_run.h"
#include "search/search_texts.h"
#include "search/site_list.h"
#include "search/site_selection.h"
#include "util/open_in_browser.h"
#include "util/scope_guard.h"

namespace app {

void TfrmMain::btnSearchClick() {
    // Search pressed again inside a running search (the window keeps working
    // during downloads): the one harvester client serves one run at a time.
    if (searching_) {
        return;
    }
    // The notice was about the last search's pages.
    searchHost_->setPageNotice("");
    // Without a line (no sites.txt, or an empty one, and nothing typed) the
    // status names the file to make or fill; a search would cover it with
    // nothing better.
    if (cbxSites->currentIndex() < 0 && cbxSites->currentText().isEmpty()) {
        return;
    }
    const std::string line = siteText();
    const bool typed = siteTextTyped();
    if (typed && !checkTypedSiteLine(line)) {
        return;
    }
    // Said before the keyword question: no keyword makes such a line run.
    const search::SiteSelection selection = search::SelectForSiteLine(line, profiles_.profiles);
    if (selection.steps.empty()) {
        MainStatusPanel->setText(Decode(search::texts::NoEnginePass(selection.unknownNames)));
        return;
    }
    if (edtKeyword->text().trimmed().isEmpty() &&
        !msgMain_->show(MessageDialog::Kind::Question, texts::kSearchWithoutKeyword,
                        MessageDialog::Buttons::YesNo)) {
        return;
    }
    if (typed) {
        rememberSiteLine(line);
    }
    showHistoryNotice("");
    history::RunRecorder recorder = openHistory();
    // The new rows come in harvest order, as the grid was before any sort.
    lvwResults->sortByColumn(-1, Qt::AscendingOrder);
    searching_ = true;
    btnSearch->setEnabled(false);
    util::ScopeGuard running([this] {
        searching_ = false;
        btnSearch->setEnabled(true);
    });
    // The run is kept whatever its end; a run that throws counts as failed.
    recorder.beginRun(searchHost_->keyword(),
                      {.siteLine = line,
                       .steps = history::StepNames(selection),
                       .itemLimit = history::ItemLimitOf(searchHost_->maxItems())});
    searchHost_->attachHistory(&recorder);
    history::Outcome outcome = history::Outcome::Failed;
    util::ScopeGuard recorded([this, &recorder, &outcome] {
        searchHost_->attachHistory(nullptr);
        recorder.finishRun(outcome);
        if (frmHistory_ != nullptr && frmHistory_->isVisible() && recorder.recording()) {
            frmHistory_->refresh();
        }
    });
    const WindowSearchHost::Run batched(*searchHost_);
    search::SearchContext context{*searchHost_, IdHTTP2, EngineSettings, &profiles_.profiles,
                                  locale_};
    const search::RunSummary summary = search::SearchRun(context);
    outcome = summary.blocked ? history::Outcome::Blocked
              : StopRequested ? history::Outcome::Stopped
                              : history::Outcome::Complete;
}

bool TfrmMain::checkTypedSiteLine(const std::string& line) {
    switch (search::CheckTypedSiteLine(line)) {
        case search::TypedSiteLine::Usable:
            return true;
        case search::TypedSiteLine::TooLong:
            MainStatusPanel->setText(
                Decode(texts::SiteLineTooLong(search::kMaxTypedSiteLineBytes)));
            return false;
        case search::TypedSiteLine::LineBreak:
            MainStatusPanel->setText(Decode(texts::kSiteLineBreak));
            return false;
    }
    return false;
}

void TfrmMain::btnStopClick() {
    search::StopSearch(*searchHost_, IdHTTP2);
}

void TfrmMain::btnExportAllClick() {
    if (resultModel_->rowCount() == 0 &&
        !msgMain_->show(MessageDialog::Kind::Question, texts::kExportEmptyList,
                        MessageDialog::Buttons::YesNo)) {
        return;
    }
    const auto choice =
        saveDialog_->ask(texts::kExportTitle, texts::kExportFilter, suggestedExportPath());
    if (!choice) {
        return;
    }
    // The rows stay whatever happens; the user learns that the file was not
    // written and where.
    try {
        search::ExportResults(choice->path, resultModel_->rows(),
                              {.utf8Bom = choice->fileType == texts::kExportWithBom});
    } catch (const std::exception& e) {
        msgMain_->show(MessageDialog::Kind::Warning, e.what(), MessageDialog::Buttons::Ok);
        return;
    }
    rowsExported_ = true;
    const QFileInfo written(Decode(choice->path));
    exportFolder_ = written.absolutePath();
    WriteUserSettings({{settings_keys::kExportFolder, exportFolder_}});
    MainStatusPanel->setText(Decode(texts::Exported(
        resultModel_->rows().size(), written.absoluteFilePath().toLocal8Bit().toStdString())));
}

std::string TfrmMain::suggestedExportPath() const {
    // The folder of the last export while it is there; before the first,
    // the user's documents rather than the program's folder, which an
    // installed copy cannot write.
    QString folder = exportFolder_;
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    }
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        folder = QDir::homePath();
    }
    const QString name = ExportFileName(edtKeyword->text(), QDate::currentDate());
    return QDir(folder).filePath(name).toLocal8Bit().toStdString();
}

void TfrmMain::btnSelectAllClick() {
    lvwResults->selectAll();
}

void TfrmMain::btnClearSellClick() {
    lvwResults->clearSelection();
}

namespace {

// The delete buttons' questions: a warning when the grid is empty, else the
// question; true only for an OK to it.
bool ConfirmDelete(MessageDialog& dialog, int rowCount, const char* question) {
    if (rowCount == 0) {
        dialog.show(MessageDialog::Kind::Warning, texts::kNoItemsToDelete,
                    MessageDialog::Buttons::OkCancel);
        return false;
    }
    return dialog.show(MessageDialog::Kind::Warning, question, MessageDialog::Buttons::OkCancel);
}

}  // namespace

void TfrmMain::btnDelSelClick() {
    if (!ConfirmDelete(*msgMain_, resultModel_->rowCount(), texts::kConfirmDeleteSelected)) {
        return;
    }
    // The selection is read after the answer: rows may have come or gone
    // while the box was open during a search.
    std::vector<int> selected;
    for (const QModelIndex& index : lvwResults->selectionModel()->selectedIndexes()) {
        selected.push_back(sortModel_->mapToSource(index).row());
    }
    resultModel_->removeRowsAt(std::move(selected));
    setListedCount();
}

void TfrmMain::btnDelAllClick() {
    if (!ConfirmDelete(*msgMain_, resultModel_->rowCount(), texts::kConfirmDeleteAll)) {
        return;
    }
    resultModel_->clear();
    setListedCount();
}

void TfrmMain::lvwResultsDblClick(const QModelIndex& index) {
    if (index.isValid()) {
        openRowUrl(sortModel_->mapToSource(index).row());
    }
}

void TfrmMain::lvwResultsContextPopup(const QPoint& at) {
    const std::unique_ptr<QMenu> menu = createResultsMenu(lvwResults->indexAt(at).row());
    menu->exec(lvwResults->viewport()->mapToGlobal(at));
}

std::unique_ptr<QMenu> TfrmMain::createResultsMenu(int row) {
    auto menu = std::make_unique<QMenu>(this);
    // The menu stays open in a nested loop while a search may add rows or
    // the user delete them; the row is looked up again when chosen.
    const QPersistentModelIndex at = resultModel_->index(sortModel_->sourceRow(row), 0);
    const bool hasUrl = at.isValid() && !resultModel_->rows()[at.row()].url.empty();
    QAction* open = menu->addAction(QStringLiteral("Open URL"));
    open->setEnabled(hasUrl);
    connect(open, &QAction::triggered, this, handler([this, at] {
                if (at.isValid()) {
                    openRowUrl(at.row());
                }
            }));
    QAction* copyUrl = menu->addAction(QStringLiteral("Copy URL"));
    copyUrl->setEnabled(hasUrl);
    connect(copyUrl, &QAction::triggered, this, handler([this, at] {
                if (at.isValid()) {
                    copyRowUrl(at.row());
                }
            }));
    QAction* copyRows = menu->addAction(QStringLiteral("Copy rows"));
    copyRows->setShortcut(QKeySequence::Copy);
    copyRows->setShortcutContext(Qt::WidgetShortcut);
    copyRows->setEnabled(lvwResults->selectionModel()->hasSelection());
    connect(copyRows, &QAction::triggered, this, handler(&TfrmMain::copySelectedRows));
    return menu;
}

void TfrmMain::openRowUrl(int row) {
    if (row < 0 || row >= resultModel_->rowCount()) {
        return;
    }
    const std::string& url = resultModel_->rows()[row].url;
    if (!url.empty()) {
        openInBrowser(url);
    }
}

void TfrmMain::openInBrowser(const std::string& url) {
    switch (util::OpenInBrowser(url)) {
        case util::BrowserStart::Started:
            break;
        case util::BrowserStart::NoBrowser:
            MainStatusPanel->setText(Decode(texts::kNoBrowser));
            break;
        case util::BrowserStart::Refused:
            MainStatusPanel->setText(Decode(texts::kNotAWebUrl));
            break;
    }
}

void TfrmMain::copyRowUrl(int row) {
    if (row >= 0 && row < resultModel_->rowCount()) {
        QGuiApplication::clipboard()->setText(
            resultModel_->data(resultModel_->index(row, ResultListModel::ColUrl)).toString());
    }
}

void TfrmMain::copySelectedRows() {
    std::vector<int> viewRows;
    for (const QModelIndex& index : lvwResults->selectionModel()->selectedRows()) {
        viewRows.push_back(index.row());
    }
    if (viewRows.empty()) {
        return;
    }
    // The rows go in the order the grid shows them, sorted or not.
    std::sort(viewRows.begin(), viewRows.end());
    std::vector<int> rows;
    rows.reserve(viewRows.size());
    for (const int row : viewRows) {
        rows.push_back(sortModel_->sourceRow(row));
    }
    // With every row chosen the whole list goes, with its column titles as
    // the export has them; a few rows go without, to be pasted among others.
    const bool everyRow = static_cast<int>(rows.size()) == resultModel_->rowCount();
    QGuiApplication::clipboard()->setText(resultModel_->rowsAsText(rows, everyRow));
}

void TfrmMain::setListedCount() {
    SecondStatusPanel->setText(QString::number(resultModel_->rowCount()) +
                               QStringLiteral(" items listed"));
}
}  // namespace app

// The main window's side of the rank history: every Search is kept in it
// unless the user turned that off, the History window, and Clear History.
// The history is a by-product of a search: whatever goes wrong with it is
// said under the status, and the search and its export go on.
#include <QAction>
#include <filesystem>

#include "app/f_main.h"
#include "app/history_window.h"
#include "app/program_text.h"
#include "app/user_settings.h"
#include "app/window_texts.h"
#include "history/damaged_file.h"
#include "history/database_path.h"
#include "history/history_delete.h"

namespace app {

std::string TfrmMain::historyPath() {
    return history::DefaultDatabasePath();
}

void TfrmMain::showHistoryNotice(const std::string& text) {
    HistoryNoticePanel->setText(Decode(text));
    HistoryNoticePanel->setVisible(!text.empty());
}

history::RunRecorder TfrmMain::openHistory() {
    const auto report = [this](const std::exception& e) {
        showHistoryNotice(texts::HistoryFailed(e.what()));
    };
    const auto withoutHistory = [&report] { return history::RunRecorder(nullptr, report); };
    if (!actKeepHistory->isChecked()) {
        return withoutHistory();
    }
    const std::string path = historyPath();
    if (path.empty()) {
        showHistoryNotice(texts::HistoryFailed(texts::kNoDataFolder));
        return withoutHistory();
    }
    try {
        return {std::make_unique<history::HistoryStore>(path), report};
    } catch (const history::HistoryError& e) {
        // Asked once: a user who keeps the file has answered for the session.
        const bool offer = history::IsDamagedFile(e) && !damagedHistoryAsked_;
        damagedHistoryAsked_ = damagedHistoryAsked_ || offer;
        if (!offer || !msgMain_->show(MessageDialog::Kind::Question, texts::HistoryDamaged(path),
                                      MessageDialog::Buttons::YesNo)) {
            report(e);
            return withoutHistory();
        }
    } catch (const std::exception& e) {
        report(e);
        return withoutHistory();
    }
    try {
        const std::string aside = history::MoveAside(path);
        auto store = std::make_unique<history::HistoryStore>(path);
        showHistoryNotice(texts::HistoryMovedAside(aside));
        return {std::move(store), report};
    } catch (const std::exception& e) {
        report(e);
        return withoutHistory();
    }
}

void TfrmMain::btnHistoryClick() {
    if (frmHistory_ == nullptr) {
        frmHistory_ = new HistoryWindow(historyPath(), *msgMain_, this);
    }
    frmHistory_->refresh();
    frmHistory_->show();
    frmHistory_->raise();
    frmHistory_->activateWindow();
}

void TfrmMain::actKeepHistoryToggled(bool keep) {
    WriteUserSettings({{settings_keys::kKeepHistory, keep}});
}

void TfrmMain::actClearHistoryClick() {
    if (!msgMain_->show(MessageDialog::Kind::Warning, texts::kConfirmClearHistory,
                        MessageDialog::Buttons::OkCancel)) {
        return;
    }
    const std::string path = historyPath();
    // Nothing kept yet: nothing to clear, and no file to make for it.
    if (path.empty() || !std::filesystem::exists(path)) {
        return;
    }
    try {
        history::HistoryStore store(path);
        history::DeleteAllRuns(store.db());
        showHistoryNotice("");
    } catch (const std::exception& e) {
        msgMain_->show(MessageDialog::Kind::Warning, e.what(), MessageDialog::Buttons::Ok);
    }
    if (frmHistory_ != nullptr) {
        frmHistory_->refresh();
    }
}

}  // namespace app

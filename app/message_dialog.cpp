#include "app/message_dialog.h"

#include <QMessageBox>

namespace app {

bool QtMessageDialog::show(Kind kind, const std::string& text, Buttons buttons) {
    const bool warning = kind == Kind::Warning;
    QMessageBox box(
        warning ? QMessageBox::Warning : QMessageBox::Information,
        warning ? QStringLiteral("Warning") : QStringLiteral("Information"),
        QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size())),
        buttons == Buttons::OkCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok,
        parent_);
    box.setTextFormat(Qt::PlainText);
    return box.exec() == QMessageBox::Ok;
}

std::vector<std::string> ScriptedMessageDialog::texts() const {
    std::vector<std::string> texts;
    for (const auto& shown : shown_) {
        texts.push_back(shown.text);
    }
    return texts;
}

bool ScriptedMessageDialog::show(Kind kind, const std::string& text, Buttons buttons) {
    shown_.push_back({kind, text, buttons});
    if (answers_.empty()) {
        return false;
    }
    const bool ok = answers_.front();
    answers_.pop_front();
    return ok;
}

}  // namespace app

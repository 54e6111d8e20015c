#include "app/message_dialog.h"

#include <QCheckBox>
#include <QMessageBox>

namespace app {

namespace {

QString FromProgram(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

bool QtMessageDialog::show(Kind kind, const std::string& text, Buttons buttons) {
    return exec(kind, text, buttons, nullptr, nullptr);
}

bool QtMessageDialog::showWithCheckBox(Kind kind, const std::string& text, Buttons buttons,
                                       const std::string& checkBoxText, bool& checked) {
    return exec(kind, text, buttons, &checkBoxText, &checked);
}

bool QtMessageDialog::exec(Kind kind, const std::string& text, Buttons buttons,
                           const std::string* checkBoxText, bool* checked) {
    QMessageBox::Icon icon = QMessageBox::Information;
    QString caption = QStringLiteral("Information");
    if (kind == Kind::Warning) {
        icon = QMessageBox::Warning;
        caption = QStringLiteral("Warning");
    } else if (kind == Kind::Question) {
        icon = QMessageBox::Question;
        caption = QStringLiteral("Confirm");
    }
    QMessageBox::StandardButtons shown = QMessageBox::Ok;
    QMessageBox::StandardButton accept = QMessageBox::Ok;
    if (buttons == Buttons::OkCancel) {
        shown = QMessageBox::Ok | QMessageBox::Cancel;
    } else if (buttons == Buttons::YesNo) {
        shown = QMessageBox::Yes | QMessageBox::No;
        accept = QMessageBox::Yes;
    }
    QMessageBox box(icon, caption, FromProgram(text), shown, parent_);
    box.setTextFormat(Qt::PlainText);
    if (checkBoxText != nullptr) {
        // The box owns the check box and deletes it with itself.
        box.setCheckBox(new QCheckBox(FromProgram(*checkBoxText)));
    }
    const bool ok = box.exec() == accept;
    if (checked != nullptr) {
        *checked = box.checkBox()->isChecked();
    }
    return ok;
}

std::vector<std::string> ScriptedMessageDialog::texts() const {
    std::vector<std::string> texts;
    for (const auto& shown : shown_) {
        texts.push_back(shown.text);
    }
    return texts;
}

ScriptedMessageDialog::Answer ScriptedMessageDialog::next() {
    if (answers_.empty()) {
        return {.ok = false, .checkBox = false};
    }
    const Answer answer = answers_.front();
    answers_.pop_front();
    return answer;
}

bool ScriptedMessageDialog::show(Kind kind, const std::string& text, Buttons buttons) {
    shown_.push_back({kind, text, buttons, {}});
    return next().ok;
}

bool ScriptedMessageDialog::showWithCheckBox(Kind kind, const std::string& text, Buttons buttons,
                                             const std::string& checkBoxText, bool& checked) {
    shown_.push_back({kind, text, buttons, checkBoxText});
    const Answer answer = next();
    checked = answer.checkBox;
    return answer.ok;
}

}  // namespace app

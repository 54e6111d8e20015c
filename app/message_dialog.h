#pragma once

#include <deque>
#include <string>
#include <vector>

class QWidget;

namespace app {

// The main window's modal message box (msgMain): every question and notice
// of the program goes through it, so tests can answer them by script.
class MessageDialog {
public:
    enum class Kind { Warning, Information };
    enum class Buttons { Ok, OkCancel };

    virtual ~MessageDialog() = default;

    // Shows text (8-bit, as held by the program) and waits for the user.
    // True only when OK closed the box; Cancel or closing it otherwise is
    // refusal.
    virtual bool show(Kind kind, const std::string& text, Buttons buttons) = 0;
};

// The real box: a QMessageBox with the icon and caption of its kind. The text
// is shown as plain text, never as markup, since it may come from a server.
class QtMessageDialog final : public MessageDialog {
public:
    explicit QtMessageDialog(QWidget* parent) : parent_(parent) {}
    bool show(Kind kind, const std::string& text, Buttons buttons) override;

private:
    QWidget* parent_;
};

// Answers from a queue and records every box shown, for tests. With the
// queue empty a box counts as closed without OK.
class ScriptedMessageDialog final : public MessageDialog {
public:
    struct Shown {
        Kind kind;
        std::string text;
        Buttons buttons;
    };

    void answer(bool ok) { answers_.push_back(ok); }
    const std::vector<Shown>& shown() const { return shown_; }
    std::vector<std::string> texts() const;
    void clearShown() { shown_.clear(); }

    bool show(Kind kind, const std::string& text, Buttons buttons) override;

private:
    std::deque<bool> answers_;
    std::vector<Shown> shown_;
};

}  // namespace app

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
    enum class Kind { Warning, Information, Question };
    enum class Buttons { Ok, OkCancel, YesNo };

    virtual ~MessageDialog() = default;

    // Shows text (8-bit, as held by the program) and waits for the user.
    // True only when OK or Yes closed the box; Cancel, No or closing it
    // otherwise is refusal.
    virtual bool show(Kind kind, const std::string& text, Buttons buttons) = 0;

    // The same with a check box labelled checkBoxText under the text, shown
    // unchecked; checked receives its state when the box closes.
    virtual bool showWithCheckBox(Kind kind, const std::string& text, Buttons buttons,
                                  const std::string& checkBoxText, bool& checked) = 0;
};

// The real box: a QMessageBox with the icon and caption of its kind. The text
// is shown as plain text, never as markup, since it may come from a server.
class QtMessageDialog final : public MessageDialog {
public:
    explicit QtMessageDialog(QWidget* parent) : parent_(parent) {}
    bool show(Kind kind, const std::string& text, Buttons buttons) override;
    bool showWithCheckBox(Kind kind, const std::string& text, Buttons buttons,
                          const std::string& checkBoxText, bool& checked) override;

private:
    bool exec(Kind kind, const std::string& text, Buttons buttons, const std::string* checkBoxText,
              bool* checked);

    QWidget* parent_;
};

// Answers from a queue and records every box shown, for tests. With the
// queue empty a box counts as closed without OK and with the check box left
// unchecked.
class ScriptedMessageDialog final : public MessageDialog {
public:
    struct Shown {
        Kind kind;
        std::string text;
        Buttons buttons;
        std::string checkBoxText;  // empty: the box had none
    };

    // checkBox is what the user left in the check box, when the box has one.
    void answer(bool ok, bool checkBox = false) { answers_.push_back({ok, checkBox}); }
    const std::vector<Shown>& shown() const { return shown_; }
    std::vector<std::string> texts() const;
    void clearShown() { shown_.clear(); }

    bool show(Kind kind, const std::string& text, Buttons buttons) override;
    bool showWithCheckBox(Kind kind, const std::string& text, Buttons buttons,
                          const std::string& checkBoxText, bool& checked) override;

private:
    struct Answer {
        bool ok;
        bool checkBox;
    };

    Answer next();

    std::deque<Answer> answers_;
    std::vector<Shown> shown_;
};

}  // namespace app

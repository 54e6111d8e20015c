#pragma once

#include <QApplication>
#include <string>

namespace app {

class MessageDialog;

// The application object. Its event dispatch is the program's general error
// handling: an exception that leaves an event handler ends that action and
// is shown to the user, and the program keeps running.
class ZorvaneApplication final : public QApplication {
    Q_OBJECT

public:
    ZorvaneApplication(int& argc, char** argv);

    // Where reports go: the main window's message dialog. Until one is set
    // (or after it is reset to nullptr) reports go to standard error.
    void setReportDialog(MessageDialog* dialog) { reportDialog_ = dialog; }

    void reportException(const std::string& text);

    bool notify(QObject* receiver, QEvent* event) override;

private:
    MessageDialog* reportDialog_ = nullptr;
};

}  // namespace app

#pragma once

#include <QApplication>
#include <exception>
#include <functional>
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

// Reports through the running ZorvaneApplication, or on standard error when
// there is none.
void ReportException(const std::string& text);

// Wraps an event handler so that an exception leaving it ends the handler
// and is reported right there. Qt's own code is built without exceptions and
// skips its clean-ups when one unwinds through it; the dispatch in notify()
// is only the last resort. Signal arguments are dropped.
template <typename Handler>
auto Guarded(Handler handler) {
    return [handler = std::move(handler)]() {
        try {
            std::invoke(handler);
        } catch (const std::exception& e) {
            ReportException(e.what());
        } catch (...) {
            ReportException("Unknown error.");
        }
    };
}

template <typename Object>
auto Guarded(Object* object, void (Object::*method)()) {
    return Guarded([object, method] { (object->*method)(); });
}

}  // namespace app

#include "app/zorvane_application.h"

#include <cstdio>
#include <exception>

#include "app/message_dialog.h"

namespace app {

ZorvaneApplication::ZorvaneApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Zorvane"));
    // Names the installed menu entry, which is where a Wayland desktop takes
    // the window's icon from.
    setDesktopFileName(QStringLiteral("example.zorvane.Zorvane"));
}

void ZorvaneApplication::reportException(const std::string& text) {
    // The report must not itself end the program: a failure to show it falls
    // back to standard error.
    try {
        if (reportDialog_ != nullptr) {
            reportDialog_->show(MessageDialog::Kind::Warning, text, MessageDialog::Buttons::Ok);
            return;
        }
    } catch (...) {
    }
    std::fprintf(stderr, "zorvane: %s\n", text.c_str());
}

void ReportException(const std::string& text) {
    if (auto* application = qobject_cast<ZorvaneApplication*>(QCoreApplication::instance())) {
        application->reportException(text);
    } else {
        std::fprintf(stderr, "zorvane: %s\n", text.c_str());
    }
}

bool ZorvaneApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        reportException(e.what());
    } catch (...) {
        reportException("Unknown error.");
    }
    return false;
}

}  // namespace app

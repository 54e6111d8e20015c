#include "app/window_publisher_host.h"

#include <QApplication>

#include "app/f_main.h"
#include "util/start_program.h"

namespace app {

bool WindowPublisherHost::showMessage(MessageKind kind, const std::string& text,
                                      MessageButtons buttons) {
    return window_.msgMain().show(kind == MessageKind::Warning ? MessageDialog::Kind::Warning
                                                               : MessageDialog::Kind::Information,
                                  text,
                                  buttons == MessageButtons::Ok ? MessageDialog::Buttons::Ok
                                                                : MessageDialog::Buttons::OkCancel);
}

void WindowPublisherHost::processEvents() {
    QApplication::processEvents();
}

std::string WindowPublisherHost::programFolder() {
    return window_.programFolder();
}

void WindowPublisherHost::startUpdater(const std::string& program,
                                       const std::vector<std::string>& args) {
    window_.startUpdater(program, args);
}

}  // namespace app

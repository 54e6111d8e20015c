#include "app/window_publisher_host.h"

#include <QApplication>
#include <QStandardPaths>
#include <cstdlib>
#include <string_view>

#include "app/f_main.h"
#include "publisher/update_check.h"
#include "util/start_program.h"

namespace app {

namespace {

// "http://127.0.0.1:" and a port, then a path or nothing: no user info that
// would make the rest another host.
bool IsLoopbackUrl(std::string_view url) {
    constexpr std::string_view kLoopback = "http://127.0.0.1:";
    if (!url.starts_with(kLoopback) || url.find('@') != std::string_view::npos) {
        return false;
    }
    const std::string_view rest = url.substr(kLoopback.size());
    std::size_t digits = 0;
    while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') {
        ++digits;
    }
    return digits > 0 && digits <= 5 && (digits == rest.size() || rest[digits] == '/');
}

}  // namespace

std::string LiveUpdateBase() {
    const char* demo = std::getenv("ZORVANE_DEMO_LIVEUPDATE_URL");
    if (demo == nullptr || !IsLoopbackUrl(demo)) {
        return std::string(publisher::LiveUpdateBaseURL);
    }
    std::string base = demo;
    if (!base.ends_with('/')) {
        base += '/';
    }
    return base;
}

bool WindowPublisherHost::showMessage(MessageKind kind, const std::string& text,
                                      MessageButtons buttons) {
    const auto dialogKind = [kind] {
        switch (kind) {
            case MessageKind::Warning:
                return MessageDialog::Kind::Warning;
            case MessageKind::Question:
                return MessageDialog::Kind::Question;
            case MessageKind::Information:
                break;
        }
        return MessageDialog::Kind::Information;
    };
    const auto dialogButtons = [buttons] {
        switch (buttons) {
            case MessageButtons::OkCancel:
                return MessageDialog::Buttons::OkCancel;
            case MessageButtons::YesNo:
                return MessageDialog::Buttons::YesNo;
            case MessageButtons::Ok:
                break;
        }
        return MessageDialog::Buttons::Ok;
    };
    return window_.msgMain().show(dialogKind(), text, dialogButtons());
}

void WindowPublisherHost::processEvents() {
    QApplication::processEvents();
}

std::string WindowPublisherHost::programFolder() {
    return window_.programFolder();
}

std::string WindowPublisherHost::cacheFolder() {
    // One folder per kind for every per-user file of the program, named as
    // the program is, whatever the application object calls itself.
    const QString generic = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (generic.isEmpty()) {
        return {};
    }
    return generic.toLocal8Bit().toStdString() + "/zorvane/";
}

void WindowPublisherHost::openInBrowser(const std::string& url) {
    window_.openInBrowser(url);
}

void WindowPublisherHost::startUpdater(const std::string& program,
                                       const std::vector<std::string>& args) {
    window_.startUpdater(program, args);
}

}  // namespace app

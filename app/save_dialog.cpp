#include "app/save_dialog.h"

#include <QFileDialog>

namespace app {

namespace {

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

// ".csv" from "Comma delimited (*.csv)|*.csv"; empty when the mask is not "*.ext".
std::string FilterExtension(const std::string& filter) {
    const auto bar = filter.find('|');
    const std::string mask = bar == std::string::npos ? std::string() : filter.substr(bar + 1);
    if (mask.size() < 3 || mask.compare(0, 2, "*.") != 0 ||
        mask.find_first_of("*?;", 2) != std::string::npos) {
        return {};
    }
    return mask.substr(1);
}

// "Comma delimited (*.csv)|*.csv" as Qt writes a filter: "Comma delimited (*.csv)".
QString QtFilter(const std::string& filter) {
    const auto bar = filter.find('|');
    if (bar == std::string::npos) {
        return QString::fromLocal8Bit(filter.data(), static_cast<qsizetype>(filter.size()));
    }
    const QString description = QString::fromLocal8Bit(filter.data(), static_cast<qsizetype>(bar));
    const QString mask = QString::fromLocal8Bit(filter.substr(bar + 1).c_str());
    const QString pattern = "(" + mask + ")";
    return description.endsWith(pattern) ? description : description + " " + pattern;
}

}  // namespace

std::optional<std::string> SaveDialog::ask(const std::string& title, const std::string& filter) {
    std::optional<std::string> path = choosePath(title, filter);
    const std::string extension = FilterExtension(filter);
    if (path && !extension.empty() &&
        (path->size() < extension.size() ||
         !EqualIgnoringAsciiCase(std::string_view(*path).substr(path->size() - extension.size()),
                                 extension))) {
        *path += extension;
    }
    return path;
}

std::optional<std::string> QtSaveDialog::choosePath(const std::string& title,
                                                    const std::string& filter) {
    const QString chosen =
        QFileDialog::getSaveFileName(parent_, QString::fromLocal8Bit(title.c_str()),
                                     QString::fromLocal8Bit(startFolder_.c_str()), QtFilter(filter),
                                     nullptr, QFileDialog::DontConfirmOverwrite);
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    return chosen.toLocal8Bit().toStdString();
}

std::optional<std::string> ScriptedSaveDialog::choosePath(const std::string& title,
                                                          const std::string& filter) {
    asked_.push_back({title, filter});
    if (answers_.empty()) {
        return std::nullopt;
    }
    std::optional<std::string> path = std::move(answers_.front());
    answers_.pop_front();
    return path;
}

}  // namespace app

#include "app/save_dialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <filesystem>

#include "app/program_text.h"

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

// ".csv" of "*.csv", the extension ask() appends; empty when the mask is not
// one plain "*.ext".
std::string MaskExtension(const std::string& mask) {
    if (mask.size() < 3 || mask.compare(0, 2, "*.") != 0 ||
        mask.find_first_of("*?;", 2) != std::string::npos) {
        return {};
    }
    return mask.substr(1);
}

// The path with extension appended unless it already ends in it, compared
// without regard to case.
std::string WithExtension(const std::string& path, const std::string& extension) {
    if (extension.empty() ||
        (path.size() >= extension.size() &&
         EqualIgnoringAsciiCase(std::string_view(path).substr(path.size() - extension.size()),
                                extension))) {
        return path;
    }
    return path + extension;
}

// The file types of a filter as (description, mask) pairs; a last entry
// without a mask gets an empty one.
std::vector<std::pair<std::string, std::string>> FilterTypes(const std::string& filter) {
    std::vector<std::pair<std::string, std::string>> types;
    std::size_t start = 0;
    while (start <= filter.size()) {
        const std::size_t bar = filter.find('|', start);
        const std::string description = filter.substr(start, bar - start);
        if (bar == std::string::npos) {
            types.emplace_back(description, std::string());
            break;
        }
        const std::size_t next = filter.find('|', bar + 1);
        types.emplace_back(description, filter.substr(bar + 1, next - bar - 1));
        if (next == std::string::npos) {
            break;
        }
        start = next + 1;
    }
    return types;
}

// "Comma delimited (*.csv)" and "*.csv" as Qt writes a filter: "Comma
// delimited (*.csv)".
QString QtFilter(const std::string& description, const std::string& mask) {
    const QString text = Decode(description);
    if (mask.empty()) {
        return text;
    }
    const QString pattern = "(" + Decode(mask) + ")";
    return text.endsWith(pattern) ? text : text + " " + pattern;
}

// The extension of the file type at index, without its dot: Qt's default
// suffix.
QString DefaultSuffix(const std::vector<std::pair<std::string, std::string>>& types,
                      qsizetype index) {
    if (index < 0 || static_cast<std::size_t>(index) >= types.size()) {
        return {};
    }
    return Decode(MaskExtension(types[static_cast<std::size_t>(index)].second)).mid(1);
}

}  // namespace

std::optional<SaveDialog::Choice> SaveDialog::ask(const std::string& title,
                                                  const std::string& filter,
                                                  const std::string& suggestedPath) {
    std::optional<Choice> choice = choosePath(title, filter, suggestedPath);
    if (!choice) {
        return choice;
    }
    const auto types = FilterTypes(filter);
    if (choice->fileType < types.size()) {
        choice->path = WithExtension(choice->path, MaskExtension(types[choice->fileType].second));
    }
    return choice;
}

std::optional<SaveDialog::Choice> QtSaveDialog::choosePath(const std::string& title,
                                                           const std::string& filter,
                                                           const std::string& suggestedPath) {
    const auto types = FilterTypes(filter);
    QStringList filters;
    for (const auto& [description, mask] : types) {
        filters << QtFilter(description, mask);
    }
    QFileDialog dialog(parent_, Decode(title));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(filters);
    // The dialog adds the chosen type's extension to a bare name itself, so
    // that its question before replacing a file is about the file written.
    dialog.setDefaultSuffix(DefaultSuffix(types, 0));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog, &types, &filters](const QString& chosen) {
                         dialog.setDefaultSuffix(DefaultSuffix(types, filters.indexOf(chosen)));
                     });
    const QFileInfo suggested(Decode(suggestedPath));
    dialog.setDirectory(suggested.absolutePath());
    dialog.selectFile(suggested.fileName());
    while (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        Choice choice{.path = dialog.selectedFiles().constFirst().toLocal8Bit().toStdString(),
                      .fileType = static_cast<std::size_t>(
                          std::max<qsizetype>(0, filters.indexOf(dialog.selectedNameFilter())))};
        // A name with another extension ("data.txt") gets the type's one
        // appended after the dialog's question, which was about the name
        // as typed; the file written is asked about here in the same words.
        const std::string written =
            WithExtension(choice.path, choice.fileType < types.size()
                                           ? MaskExtension(types[choice.fileType].second)
                                           : std::string());
        std::error_code error;
        if (written != choice.path && std::filesystem::exists(written, error) &&
            QMessageBox::question(&dialog, dialog.windowTitle(),
                                  QFileDialog::tr("%1 already exists.\nDo you want to replace it?")
                                      .arg(QFileInfo(Decode(written)).fileName())) !=
                QMessageBox::Yes) {
            continue;
        }
        return choice;
    }
    return std::nullopt;
}

void ScriptedSaveDialog::answer(std::optional<std::string> path, std::size_t fileType) {
    if (path) {
        answers_.push_back(Choice{.path = std::move(*path), .fileType = fileType});
    } else {
        answers_.push_back(std::nullopt);
    }
}

std::optional<SaveDialog::Choice> ScriptedSaveDialog::choosePath(const std::string& title,
                                                                 const std::string& filter,
                                                                 const std::string& suggestedPath) {
    asked_.push_back({title, filter, suggestedPath});
    if (answers_.empty()) {
        return std::nullopt;
    }
    std::optional<Choice> choice = std::move(answers_.front());
    answers_.pop_front();
    return choice;
}

}  // namespace app

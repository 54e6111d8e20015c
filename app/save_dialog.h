#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace app {

// The main window's modal save dialog. The filter is one entry
// "Description|*.ext". Like the dialog users know from the program's origin,
// it appends ".ext" to every chosen name whose extension is not ".ext"
// (compared without regard to case): "results" and "data.txt" become
// "results.csv" and "data.txt.csv", "data.CSV" stays. It never asks before
// replacing a file.
class SaveDialog {
public:
    virtual ~SaveDialog() = default;

    // The chosen path (8-bit), or nullopt when the user cancelled.
    std::optional<std::string> ask(const std::string& title, const std::string& filter);

protected:
    // The path exactly as the user chose it.
    virtual std::optional<std::string> choosePath(const std::string& title,
                                                  const std::string& filter) = 0;
};

// The real dialog: a QFileDialog opened in startFolder every time.
class QtSaveDialog final : public SaveDialog {
public:
    QtSaveDialog(QWidget* parent, std::string startFolder)
        : parent_(parent), startFolder_(std::move(startFolder)) {}

protected:
    std::optional<std::string> choosePath(const std::string& title,
                                          const std::string& filter) override;

private:
    QWidget* parent_;
    std::string startFolder_;
};

// Answers from a queue (a path, or nullopt for Cancel) and records every
// request, for tests. With the queue empty the dialog counts as cancelled.
class ScriptedSaveDialog final : public SaveDialog {
public:
    struct Asked {
        std::string title;
        std::string filter;
    };

    void answer(std::optional<std::string> path) { answers_.push_back(std::move(path)); }
    const std::vector<Asked>& asked() const { return asked_; }

protected:
    std::optional<std::string> choosePath(const std::string& title,
                                          const std::string& filter) override;

private:
    std::deque<std::optional<std::string>> answers_;
    std::vector<Asked> asked_;
};

}  // namespace app

#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace app {

// The main window's modal save dialog. The filter lists file types as pairs
// "Description|*.ext", joined by "|" ("Comma delimited (*.csv)|*.csv|CSV
// UTF-8 with BOM (*.csv)|*.csv"). Like the dialog users know from the
// program's origin, it appends ".ext" of the chosen type to every chosen name
// whose extension is not ".ext" (compared without regard to case): "results"
// and "data.txt" become "results.csv" and "data.txt.csv", "data.CSV" stays.
class SaveDialog {
public:
    struct Choice {
        std::string path;          // 8-bit, as the program holds paths
        std::size_t fileType = 0;  // index of the chosen pair in the filter
    };

    virtual ~SaveDialog() = default;

    // Opens on suggestedPath (a folder and a file name, either may be
    // empty). nullopt when the user cancelled.
    std::optional<Choice> ask(const std::string& title, const std::string& filter,
                              const std::string& suggestedPath);

protected:
    // The path exactly as the user chose it.
    virtual std::optional<Choice> choosePath(const std::string& title, const std::string& filter,
                                             const std::string& suggestedPath) = 0;
};

// The real dialog: the desktop's file dialog through QFileDialog, which asks
// before a file is replaced.
class QtSaveDialog final : public SaveDialog {
public:
    explicit QtSaveDialog(QWidget* parent) : parent_(parent) {}

protected:
    std::optional<Choice> choosePath(const std::string& title, const std::string& filter,
                                     const std::string& suggestedPath) override;

private:
    QWidget* parent_;
};

// Answers from a queue (a path and a file type, or nullopt for Cancel) and
// records every request, for tests. With the queue empty the dialog counts
// as cancelled.
class ScriptedSaveDialog final : public SaveDialog {
public:
    struct Asked {
        std::string title;
        std::string filter;
        std::string suggestedPath;
    };

    void answer(std::optional<std::string> path, std::size_t fileType = 0);
    const std::vector<Asked>& asked() const { return asked_; }

protected:
    std::optional<Choice> choosePath(const std::string& title, const std::string& filter,
                                     const std::string& suggestedPath) override;

private:
    std::deque<std::optional<Choice>> answers_;
    std::vector<Asked> asked_;
};

}  // namespace app

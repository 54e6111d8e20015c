#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "util/file_descriptor.h"

namespace search {

// Takes the next piece of a file's text; false when it could not be written.
using PieceWriter = std::function<bool(std::string_view)>;

// A file being replaced: its new text goes into a new file beside it, which
// is renamed over it once complete, so a failure at any point leaves an
// existing file as it was and no temporary file behind. A replaced file
// keeps its permission bits (and, for a privileged user, its owner); a link
// is followed. The temporary file is made at once, so that an output that
// cannot be written fails before any work for it is done.
class FileReplacement {
public:
    // Checks path and creates the temporary file beside it. Throws
    // std::runtime_error naming path when it cannot be written or is not a
    // regular file.
    explicit FileReplacement(const std::string& path);
    // Removes the temporary file unless commit succeeded.
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // Writes what produce writes and puts the file in place; at most once.
    // Throws std::runtime_error naming path when a write fails or produce
    // returns false (the temporary file is then gone).
    void commit(const std::function<bool(const PieceWriter&)>& produce);

private:
    void removeTemporary();

    std::string path_;
    std::string target_;
    std::string temporary_;
    util::FileDescriptor file_;
    int slot_ = -1;
};

// A FileReplacement from start to end.
void WriteFileReplacing(const std::string& path,
                        const std::function<bool(const PieceWriter&)>& produce);

// Removes the temporary file of every replacement under way, for a handler
// of a signal that ends the program: it calls nothing but unlink(2), which
// such a handler may.
void RemoveTemporaryFilesNow();

}  // namespace search

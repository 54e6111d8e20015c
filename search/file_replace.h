#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace search {

// Takes the next piece of a file's text; false when it could not be written.
using PieceWriter = std::function<bool(std::string_view)>;

// Writes a file by handing produce a writer for its pieces: into a new file
// beside path, renamed over path once complete, so a failure at any point
// leaves an existing file as it was and no temporary file behind. A replaced
// file keeps its permission bits (and, for a privileged user, its owner); a
// link is followed. Throws std::runtime_error naming path when it cannot be
// written, is not a regular file, or produce returns false.
void WriteFileReplacing(const std::string& path,
                        const std::function<bool(const PieceWriter&)>& produce);

}  // namespace search

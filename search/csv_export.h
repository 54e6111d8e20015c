#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "search/result_row.h"
#include "search/result_store.h"

namespace search {

// How an export file starts. A spreadsheet that opens a CSV file in the
// system's 8-bit code page reads UTF-8 anchors as UTF-8 only after a byte
// order mark, so the mark is a choice of the user, off by default.
struct ExportOptions {
    bool utf8Bom = false;
};

// The UTF-8 byte order mark, EF BB BF.
inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// The export text is the header line "Pos","Anchor","URL","Engine Site" and
// one line per row, each line ended by CR LF, bytes as held. Every field is
// in double quotes, a double quote inside a field doubled, and the fields
// are separated by single commas. With options.utf8Bom the text starts with
// kUtf8Bom; nothing else changes.
//
// WriteExport hands the text to write as it is formatted, in pieces of a few
// dozen kilobytes, so that an export of any size needs no more memory than
// its rows; write returns false on failure, which ends the export with false.
bool WriteExport(const RowSource& rows, const std::function<bool(std::string_view)>& write,
                 ExportOptions options = {});

// The export of a keyword list run (zorvane-harvest --keywords): the same
// text with a fifth column "Keyword", the keyword that found the row. The
// header line, then the rows of each keyword as it completes.
std::string KeywordExportHeader();
bool WriteKeywordExportRows(const RowSource& rows, std::string_view keyword,
                            const std::function<bool(std::string_view)>& write);

// The whole export text as one string.
std::string FormatExport(const RowSource& rows, ExportOptions options = {});
inline std::string FormatExport(const std::vector<ResultRow>& rows, ExportOptions options = {}) {
    return FormatExport(RowVectorSource(rows), options);
}

// Writes the export of rows to a new file beside path and renames it over
// path, so a failure at any point leaves an existing file as it was and no
// temporary file behind. A replaced file keeps its permission bits (and, for
// a privileged user, its owner); a link is followed. Throws
// std::runtime_error naming path when it cannot be written or is not a
// regular file.
void ExportResults(const std::string& path, const RowSource& rows, ExportOptions options = {});
inline void ExportResults(const std::string& path, const std::vector<ResultRow>& rows,
                          ExportOptions options = {}) {
    ExportResults(path, RowVectorSource(rows), options);
}

}  // namespace search

#pragma once

#include <string>
#include <vector>

#include "search/result_row.h"

namespace search {

// The whole export: the header line "Pos","Anchor","URL","Engine Site" and
// one line per row, each line ended by CR LF, bytes as held. Every field is
// in double quotes, a double quote inside a field doubled, and the fields
// are separated by single commas.
std::string FormatExport(const std::vector<ResultRow>& rows);

// Writes FormatExport(rows) to a new file beside path and renames it over
// path, so a failure at any point leaves an existing file as it was and no
// temporary file behind. A replaced file keeps its permission bits (and, for
// a privileged user, its owner); a link is followed. Throws
// std::runtime_error naming path when it cannot be written or is not a
// regular file.
void ExportResults(const std::string& path, const std::vector<ResultRow>& rows);

}  // namespace search

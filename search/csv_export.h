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

// Writes FormatExport(rows) to path, replacing an existing file. Throws
// std::runtime_error naming the file when it cannot be written.
void ExportResults(const std::string& path, const std::vector<ResultRow>& rows);

}  // namespace search

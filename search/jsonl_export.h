#pragma once

#include <functional>
#include <optional>
#include <string_view>

#include "search/result_store.h"

namespace search {

// The rows as JSON Lines: one object per row, each line ended by LF:
// "position" (a number), "anchor", "url", "engine_site", and "snippet",
// "raw_link" and "display_url" when the row has them (engine profiles give
// them). Texts are
// UTF-8; a byte sequence that is not valid UTF-8 (a built-in pass keeps the
// bytes a page sent) becomes U+FFFD rather than an unreadable line.
//
// A keyword list run adds "keyword", the keyword that found the row.
//
// Pieces are handed to write as they are formatted, as for the CSV export;
// write returns false on failure, which ends the export with false.
bool WriteJsonLines(const RowSource& rows, const std::function<bool(std::string_view)>& write,
                    std::optional<std::string_view> keyword = std::nullopt);

}  // namespace search

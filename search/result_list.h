#pragma once

#include <string>

#include "search/search_host.h"

namespace search {

// Appends a row numbered with the row count after the addition, shows the
// count followed by " items" and handles pending messages.
void AppendResultRow(SearchHost& host, std::string anchor, std::string url, std::string siteLabel);
// The same for a row whose texts are gathered already; its position is set here.
void AppendResultRow(SearchHost& host, ResultRow row);

// True when the item limit is positive and the row count has reached it.
bool LimitReached(SearchHost& host);

}  // namespace search

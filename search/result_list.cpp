#include "search/result_list.h"

#include "search/search_texts.h"

namespace search {

void AppendResultRow(SearchHost& host, std::string anchor, std::string url, std::string siteLabel) {
    AppendResultRow(host, ResultRow{.pos = {},
                                    .anchor = std::move(anchor),
                                    .url = std::move(url),
                                    .engineSite = std::move(siteLabel)});
}

void AppendResultRow(SearchHost& host, ResultRow row) {
    row.pos = std::to_string(host.rowCount() + 1);
    host.appendRow(std::move(row));
    host.setSecondStatus(texts::ItemCount(host.rowCount()));
    host.processEvents();
}

bool LimitReached(SearchHost& host) {
    const double limit = host.maxItems();
    return limit > 0 && static_cast<double>(host.rowCount()) >= limit;
}

}  // namespace search

#include "search/result_list.h"

#include "search/search_texts.h"

namespace search {

void AppendResultRow(SearchHost& host, std::string anchor, std::string url, std::string siteLabel) {
    const std::size_t count = host.rowCount() + 1;
    host.appendRow(
        ResultRow{std::to_string(count), std::move(anchor), std::move(url), std::move(siteLabel)});
    host.setSecondStatus(texts::ItemCount(host.rowCount()));
    host.processEvents();
}

bool LimitReached(SearchHost& host) {
    const double limit = host.maxItems();
    return limit > 0 && static_cast<double>(host.rowCount()) >= limit;
}

}  // namespace search

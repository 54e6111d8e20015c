#include "app/result_sort_model.h"

#include <algorithm>
#include <string>

#include "app/result_list_model.h"

namespace app {

namespace {

unsigned char FoldAscii(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte - 'A' + 'a') : byte;
}

// UTF-8 compared byte by byte is code point order; ASCII letters compare
// without their case.
bool TextLess(const std::string& left, const std::string& right) {
    return std::lexicographical_compare(left.begin(), left.end(), right.begin(), right.end(),
                                        [](char a, char b) { return FoldAscii(a) < FoldAscii(b); });
}

}  // namespace

ResultSortModel::ResultSortModel(ResultListModel& rows, QObject* parent)
    : QSortFilterProxyModel(parent), rows_(rows) {
    setSourceModel(&rows);
}

int ResultSortModel::sourceRow(int row) const {
    return mapToSource(index(row, 0)).row();
}

bool ResultSortModel::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    const auto& rows = rows_.rows();
    const search::ResultRow& a = rows[static_cast<std::size_t>(left.row())];
    const search::ResultRow& b = rows[static_cast<std::size_t>(right.row())];
    switch (left.column()) {
        case ResultListModel::ColAnchor:
            return TextLess(a.anchor, b.anchor);
        case ResultListModel::ColUrl:
            return TextLess(a.url, b.url);
        case ResultListModel::ColEngineSite:
            return TextLess(a.engineSite, b.engineSite);
        default:
            return left.row() < right.row();
    }
}

}  // namespace app

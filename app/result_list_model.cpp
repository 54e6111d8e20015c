#include "app/result_list_model.h"

#include <algorithm>
#include <functional>
#include <iterator>

namespace app {

namespace {

QString FromUtf8(const std::string& bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// One field of a clipboard line.
void AppendField(QString& text, QString field) {
    for (QChar& c : field) {
        if (c == u'\t' || c == u'\r' || c == u'\n') {
            c = u' ';
        }
    }
    text += field;
}

}  // namespace

void ResultListModel::appendRow(search::ResultRow row) {
    const int at = static_cast<int>(rows_.size());
    beginInsertRows(QModelIndex(), at, at);
    rows_.push_back(std::move(row));
    endInsertRows();
}

void ResultListModel::appendRows(std::vector<search::ResultRow> rows) {
    if (rows.empty()) {
        return;
    }
    const int first = static_cast<int>(rows_.size());
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(rows.size()) - 1);
    rows_.insert(rows_.end(), std::make_move_iterator(rows.begin()),
                 std::make_move_iterator(rows.end()));
    endInsertRows();
}

void ResultListModel::removeRowsAt(std::vector<int> indexes) {
    std::sort(indexes.begin(), indexes.end(), std::greater<>());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
    std::erase_if(indexes, [this](int i) { return i < 0 || i >= rowCount(); });
    // From the last row to the first, one removal per run of adjacent rows,
    // so the indexes still to come stay valid.
    std::size_t i = 0;
    while (i < indexes.size()) {
        const int last = indexes[i];
        int first = last;
        while (i + 1 < indexes.size() && indexes[i + 1] == first - 1) {
            first = indexes[++i];
        }
        ++i;
        beginRemoveRows(QModelIndex(), first, last);
        rows_.erase(rows_.begin() + first, rows_.begin() + last + 1);
        endRemoveRows();
    }
}

void ResultListModel::clear() {
    beginResetModel();
    rows_.clear();
    endResetModel();
}

int ResultListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ResultListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ResultListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const search::ResultRow& row = rows_[static_cast<std::size_t>(index.row())];
    switch (index.column()) {
        case ColPos:
            return FromUtf8(row.pos);
        case ColAnchor:
            return FromUtf8(row.anchor);
        case ColUrl:
            return FromUtf8(row.url);
        case ColEngineSite:
            return FromUtf8(row.engineSite);
        default:
            return {};
    }
}

QString ResultListModel::rowsAsText(const std::vector<int>& indexes, bool withHeader) const {
    QString text;
    const auto line = [&text](const auto& field) {
        for (int column = 0; column < ColumnCount; ++column) {
            if (column > 0) {
                text += u'\t';
            }
            AppendField(text, field(column));
        }
        text += u'\n';
    };
    if (withHeader) {
        line([this](int column) { return headerData(column, Qt::Horizontal).toString(); });
    }
    for (const int row : indexes) {
        line([this, row](int column) { return data(index(row, column)).toString(); });
    }
    return text;
}

QVariant ResultListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) {
        return {};
    }
    // A first click on a header sorts ascending whatever the style's habit.
    if (role == Qt::InitialSortOrderRole) {
        return Qt::AscendingOrder;
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    switch (section) {
        case ColPos:
            return QStringLiteral("Pos");
        case ColAnchor:
            return QStringLiteral("Anchor");
        case ColUrl:
            return QStringLiteral("URL");
        case ColEngineSite:
            return QStringLiteral("Engine Site");
        default:
            return {};
    }
}

Qt::ItemFlags ResultListModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren
                           : Qt::NoItemFlags;
}

}  // namespace app

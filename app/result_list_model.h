#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <vector>

#include "search/result_row.h"

namespace app {

// The rows of lvwResults, held as the bytes the harvester produced (UTF-8
// anchors, URLs and site lines); they are decoded only to be shown. Rows
// keep the order they were appended in.
class ResultListModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { ColPos, ColAnchor, ColUrl, ColEngineSite, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;

    void appendRow(search::ResultRow row);
    // One insert for them all: a view lays itself out once per batch, not
    // once per row.
    void appendRows(std::vector<search::ResultRow> rows);
    // Removes the rows at the given indexes, in any order; repeated indexes
    // and ones out of range are ignored.
    void removeRowsAt(std::vector<int> indexes);
    void clear();
    const std::vector<search::ResultRow>& rows() const { return rows_; }

    // The rows at the given indexes (each in range), in the order given, as
    // a spreadsheet takes them from the clipboard: one line per row ended by
    // "\n", the fields as shown and separated by tabs, with the column
    // titles as the first line when withHeader. A tab or line break inside
    // a field becomes a space, so a field never splits a row.
    QString rowsAsText(const std::vector<int>& indexes, bool withHeader) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    std::vector<search::ResultRow> rows_;
};

}  // namespace app

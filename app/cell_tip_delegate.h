// The result grid's cells: drawn as any, with a tooltip giving a cell's
// whole text where the column cuts it off.
#pragma once

#include <QStyledItemDelegate>

namespace app {

class CellTipDelegate final : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // Whether the cell at index, drawn in option.rect, shows less than its
    // whole text.
    bool cutsText(const QStyleOptionViewItem& option, const QModelIndex& index) const;

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;
};

}  // namespace app

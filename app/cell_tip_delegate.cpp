#include "app/cell_tip_delegate.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QTextDocument>
#include <QToolTip>

namespace app {

namespace {

// A hit's anchor is a line of text; a server that sends pages of it gets the
// start in the tooltip, which otherwise would cover the screen.
constexpr qsizetype kMaxTipChars = 2000;

}  // namespace

bool CellTipDelegate::cutsText(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    if (item.text.isEmpty()) {
        return false;
    }
    const QStyle* style = item.widget != nullptr ? item.widget->style() : QApplication::style();
    // The style keeps this margin free on either side of a cell's text; the
    // grid's cells hold text alone, no icon or check box.
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, item.widget) + 1;
    return item.fontMetrics.horizontalAdvance(item.text) > item.rect.width() - 2 * margin;
}

bool CellTipDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (event == nullptr || event->type() != QEvent::ToolTip || !index.isValid()) {
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    }
    if (!cutsText(option, index)) {
        QToolTip::hideText();
        return true;
    }
    QString text = index.data(Qt::DisplayRole).toString();
    if (text.size() > kMaxTipChars) {
        text = text.left(kMaxTipChars) + QChar(0x2026);
    }
    // Anchors come from servers: shown as text, never as markup.
    QToolTip::showText(event->globalPos(), Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal),
                       view->viewport(), option.rect);
    return true;
}

}  // namespace app

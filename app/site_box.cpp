#include "app/site_box.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QScreen>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QTextDocument>
#include <QToolTip>
#include <algorithm>

namespace app {

namespace {

// Beyond this many characters a line is wider than any screen, and measuring
// the rest of a pathological line would only cost time at every opening.
constexpr qsizetype kMaxMeasuredChars = 1000;

// What a style draws around a list item's text, beyond its frame and scroll
// bar: a little room on each side.
constexpr int kItemTextMargin = 12;

}  // namespace

SiteBox::SiteBox(QWidget* parent) : QComboBox(parent) {
    setEditable(false);
    setMinimumContentsLength(16);
    // The box's size comes from the minimum contents length alone, so
    // choosing a long line never widens the search bar or the window.
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
}

int SiteBox::textRoom() const {
    QStyleOptionComboBox option;
    initStyleOption(&option);
    const QRect field =
        style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    // The label is drawn one pixel in from each side of the field.
    return std::max(0, field.width() - 2);
}

QString SiteBox::shownText() const {
    return fontMetrics().elidedText(currentText(), Qt::ElideMiddle, textRoom());
}

QString SiteBox::toolTipText() const {
    QStringList parts;
    if (shownText() != currentText()) {
        parts << currentText();
    }
    const QString description = currentData(Qt::ToolTipRole).toString();
    if (!description.isEmpty()) {
        parts << description;
    }
    return parts.join(u'\n');
}

int SiteBox::popupWidth() const {
    const QFontMetrics metrics = view()->fontMetrics();
    int widest = 0;
    for (int i = 0; i < count(); ++i) {
        widest = std::max(widest, metrics.horizontalAdvance(itemText(i).left(kMaxMeasuredChars)));
    }
    const int chrome = 2 * view()->frameWidth() + kItemTextMargin +
                       style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, view());
    int width = std::max(widest + chrome, this->width());
    if (const QScreen* shownOn = screen()) {
        width = std::min(width, shownOn->availableGeometry().width());
    }
    return width;
}

void SiteBox::showPopup() {
    // The list follows the box's width unless its own minimum asks more.
    view()->setMinimumWidth(popupWidth());
    QComboBox::showPopup();
}

// QComboBox's own painting, with the line cut in the middle to fit.
void SiteBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    painter.setPen(palette().color(QPalette::Text));
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    option.currentText = shownText();
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

bool SiteBox::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip) {
        return QComboBox::event(event);
    }
    const QString tip = toolTipText();
    if (tip.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
    } else {
        // A site line is the user's file, never markup.
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(),
                           Qt::convertFromPlainText(tip, Qt::WhiteSpaceNormal), this);
    }
    return true;
}

}  // namespace app

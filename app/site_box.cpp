#include "app/site_box.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QLineEdit>
#include <QPainter>
#include <QScreen>
#include <QStyleOptionFrame>
#include <algorithm>

#include "app/plain_tool_tip.h"

namespace app {

namespace {

// Beyond this many characters a line is wider than any screen, and measuring
// the rest of a pathological line would only cost time at every opening.
constexpr qsizetype kMaxMeasuredChars = 1000;

// What a style draws around a list item's text, beyond its frame and scroll
// bar: a little room on each side.
constexpr int kItemTextMargin = 12;

// QLineEdit keeps this much room between its contents' edge and its text.
constexpr int kEditTextMargin = 2;

// The box's edit field. Without focus it draws a line too long for it cut in
// the middle, as a status text is, instead of scrolled to its end; with
// focus it is a plain edit field.
class SiteLineEdit final : public QLineEdit {
public:
    using QLineEdit::QLineEdit;

    QString shownText() const {
        QString line = text();
        if (hasFocus()) {
            return line;
        }
        if (line.size() > 2 * kMaxMeasuredChars) {
            line = line.left(kMaxMeasuredChars) + QChar(0x2026) + line.right(kMaxMeasuredChars);
        }
        return fontMetrics().elidedText(line, Qt::ElideMiddle, textRect().width());
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        const QString shown = shownText();
        if (shown == text()) {
            QLineEdit::paintEvent(event);
            return;
        }
        QPainter painter(this);
        QStyleOptionFrame option;
        initStyleOption(&option);
        style()->drawPrimitive(QStyle::PE_PanelLineEdit, &option, &painter, this);
        painter.setPen(
            palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Text));
        painter.drawText(textRect(), Qt::AlignLeft | Qt::AlignVCenter, shown);
    }

private:
    // Where QLineEdit draws its text: its contents less the text margins
    // and its own margin on each side.
    QRect textRect() const {
        QStyleOptionFrame option;
        initStyleOption(&option);
        const QRect contents = style()
                                   ->subElementRect(QStyle::SE_LineEditContents, &option, this)
                                   .marginsRemoved(textMargins());
        return contents.adjusted(kEditTextMargin, 0, -kEditTextMargin, 0);
    }
};

}  // namespace

SiteBox::SiteBox(QWidget* parent) : QComboBox(parent) {
    setLineEdit(new SiteLineEdit(this));
    // Inline completion would add the rest of a longer line to a short one
    // the user means to type; Enter is the window's (a search), not an
    // order to add the text to the list.
    setCompleter(nullptr);
    setInsertPolicy(QComboBox::NoInsert);
    setMinimumContentsLength(12);
    // The box's size comes from the minimum contents length alone, so
    // choosing a long line never widens the search bar or the window.
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
}

QString SiteBox::shownText() const {
    return static_cast<const SiteLineEdit*>(lineEdit())->shownText();
}

QString SiteBox::toolTipText() const {
    QStringList parts;
    if (shownText() != currentText()) {
        parts << currentText();
    }
    // The description is the chosen item's, not that of a text typed over it.
    const QString description = currentIndex() >= 0 && itemText(currentIndex()) == currentText()
                                    ? currentData(Qt::ToolTipRole).toString()
                                    : QString();
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

bool SiteBox::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip) {
        return QComboBox::event(event);
    }
    return ShowPlainToolTip(*this, *event, toolTipText());
}

}  // namespace app

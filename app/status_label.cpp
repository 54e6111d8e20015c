#include "app/status_label.h"

#include <QEvent>
#include <QPainter>
#include <QStyle>
#include <algorithm>

#include "app/plain_tool_tip.h"

namespace app {

namespace {

// A status may carry a whole server error or a path of any length. Beyond
// this many characters from each end nothing more fits on any screen, and
// measuring the middle of a huge text at every paint would only cost time.
constexpr qsizetype kMeasuredCharsPerEnd = 500;

// A short text takes its own width; past this many average characters the
// label asks no more and the text is cut.
constexpr int kHintChars = 40;

constexpr QChar kEllipsis(0x2026);

}  // namespace

StatusLabel::StatusLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    // A status quotes what servers and files say, never markup to render.
    setTextFormat(Qt::PlainText);
}

QString StatusLabel::shownText() const {
    QString line = text();
    if (line.size() > 2 * kMeasuredCharsPerEnd) {
        line = line.left(kMeasuredCharsPerEnd) + kEllipsis + line.right(kMeasuredCharsPerEnd);
    }
    // One line in a status bar: breaks read as spaces.
    line.replace(u'\n', u' ').replace(u'\r', u' ');
    return fontMetrics().elidedText(line, Qt::ElideMiddle, contentsRect().width());
}

QString StatusLabel::toolTipText() const {
    return shownText() == text() ? QString() : text();
}

QSize StatusLabel::sizeHint() const {
    const QSize own = QLabel::sizeHint();
    return {std::min(own.width(), fontMetrics().averageCharWidth() * kHintChars), own.height()};
}

QSize StatusLabel::minimumSizeHint() const {
    const QMargins margins = contentsMargins();
    return {fontMetrics().horizontalAdvance(kEllipsis) + margins.left() + margins.right(),
            QLabel::minimumSizeHint().height()};
}

void StatusLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    drawFrame(&painter);
    style()->drawItemText(&painter, contentsRect(),
                          QStyle::visualAlignment(layoutDirection(), alignment()), palette(),
                          isEnabled(), shownText(), foregroundRole());
}

bool StatusLabel::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip) {
        return QLabel::event(event);
    }
    return ShowPlainToolTip(*this, *event, toolTipText());
}

}  // namespace app

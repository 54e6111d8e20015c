#include "app/message_hint.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QWindow>

namespace app {

namespace {

constexpr int kTailHeight = 12;
constexpr int kTailWidth = 16;
// How far the tip sits from the balloon's right edge.
constexpr int kTailInset = 24;
constexpr int kPadding = 10;
constexpr int kShadow = 4;
constexpr int kRadius = 8;
constexpr int kMaxTextWidth = 360;

}  // namespace

QPointer<MessageHint> MessageHint::current_;

MessageHint* MessageHint::showAt(const QString& text, QPoint anchor) {
    if (current_) {
        current_->close();
    }
    current_ = new MessageHint(text, anchor);
    current_->show();
    return current_;
}

MessageHint* MessageHint::current() {
    return current_;
}

MessageHint::MessageHint(const QString& text, QPoint anchor)
    : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      text_(text),
      shownText_(QString(text)
                     .replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
                     .replace(QLatin1Char('\r'), QLatin1Char('\n'))),
      anchor_(anchor) {
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setObjectName(QStringLiteral("LMDMessageHint1"));
    // The skin may set the font; the balloon is measured in the one it draws with.
    ensurePolished();
    const QRect bounds = QFontMetrics(font()).boundingRect(
        QRect(0, 0, kMaxTextWidth, 10000), Qt::AlignLeft | Qt::TextWordWrap, shownText_);
    textRect_ = QRect(kPadding, kTailHeight + kPadding, bounds.width(), bounds.height());
    const int width = std::max(textRect_.width() + 2 * kPadding, kTailInset + kTailWidth) + kShadow;
    const int height = kTailHeight + textRect_.height() + 2 * kPadding + kShadow;
    resize(width, height);
    // The tip is near the balloon's right edge, so the balloon lies below
    // and to the left of the point it shows.
    move(anchor.x() - (width - kShadow - kTailInset), anchor.y());
    // Shaped by a mask rather than by transparency, which a desktop without
    // a compositor would draw black.
    setMask(
        QRegion(shape().united(shape().translated(kShadow, kShadow)).toFillPolygon().toPolygon()));
    qApp->installEventFilter(this);
    connect(qApp, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) {
                if (state != Qt::ApplicationActive) {
                    close();
                }
            });
}

bool MessageHint::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::NonClientAreaMouseButtonPress:
        case QEvent::Wheel: {
            // The press reaches the hint's window before the hint, and
            // whichever sees it first closes the hint.
            const bool onHint = watched == this || watched == static_cast<QObject*>(windowHandle());
            close();
            if (onHint && event->type() == QEvent::MouseButtonPress) {
                emit clicked();
            }
            return true;
        }
        default:
            return false;
    }
}

// A closed hint waits for its deferred deletion; until then it must not
// take any more clicks.
void MessageHint::hideEvent(QHideEvent* event) {
    qApp->removeEventFilter(this);
    QWidget::hideEvent(event);
}

QPainterPath MessageHint::shape() const {
    const QRectF body(0.5, kTailHeight + 0.5, width() - kShadow - 1,
                      height() - kTailHeight - kShadow - 1);
    const double tipX = width() - kShadow - kTailInset + 0.5;
    QPainterPath balloon;
    balloon.addRoundedRect(body, kRadius, kRadius);
    QPainterPath tail;
    tail.moveTo(tipX, 0.5);
    tail.lineTo(tipX - kTailWidth, kTailHeight + 1);
    tail.lineTo(tipX - 2, kTailHeight + 1);
    tail.closeSubpath();
    return balloon.united(tail);
}

void MessageHint::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPainterPath balloon = shape();
    painter.fillPath(balloon.translated(kShadow, kShadow), QColor(0x9a, 0xa3, 0xb2));
    painter.fillPath(balloon, palette().color(QPalette::ToolTipBase));
    painter.setPen(QPen(palette().color(QPalette::ToolTipText), 1));
    painter.drawPath(balloon);
    painter.drawText(textRect_, Qt::AlignLeft | Qt::TextWordWrap, shownText_);
}

}  // namespace app

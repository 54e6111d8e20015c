// The balloon that points at a spot of the window with a short message, such
// as "You've Got A Message!" at the News button.
#pragma once

#include <QPainterPath>
#include <QPointer>
#include <QWidget>

namespace app {

class MessageHint final : public QWidget {
    Q_OBJECT

public:
    // Shows text (plain, never markup) in a balloon whose tip points at
    // anchor (screen coordinates), the balloon below and to the left of it.
    // A hint still on screen is closed first: there is only ever one. The
    // next mouse click or wheel turn anywhere, or leaving the application,
    // closes it; that click does nothing else, unless it is on the hint:
    // then the hint says it was clicked.
    static MessageHint* showAt(const QString& text, QPoint anchor);

    // The hint on screen, or nullptr.
    static MessageHint* current();

    QString text() const { return text_; }
    QPoint anchor() const { return anchor_; }

signals:
    // A mouse button went down on the hint itself; it closes all the same.
    void clicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    MessageHint(const QString& text, QPoint anchor);
    // The balloon with its tail, in the widget's coordinates.
    QPainterPath shape() const;

    QString text_;
    // The text as drawn: every line break, CR LF included, one new line.
    QString shownText_;
    QPoint anchor_;
    QRect textRect_;
    static QPointer<MessageHint> current_;
};

}  // namespace app

// A status bar panel whose text, however long, never widens the window.
#pragma once

#include <QLabel>

namespace app {

// A plain-text label whose size ignores its text: it shows the text cut in
// the middle to the room the status bar gives it, where a URL or a path
// keeps both its start and its end, and its tooltip then gives the text
// whole. text() is always the whole text.
class StatusLabel final : public QLabel {
public:
    explicit StatusLabel(const QString& text = {}, QWidget* parent = nullptr);

    // The text as drawn in the label's present width.
    QString shownText() const;
    // The tooltip: the whole text when it is cut, else empty.
    QString toolTipText() const;

    // Its width as laid out while the text is short; longer ones are cut.
    QSize sizeHint() const override;
    // Room for the ellipsis alone: no text makes the window wider.
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;
};

}  // namespace app

// The engine site box (cbxSites): every site line can be read whole, however
// long, without the box widening the window.
#pragma once

#include <QComboBox>

namespace app {

// A non-editable combo box whose size ignores its lines. Its drop-down list
// is as wide as the longest line (at most the screen); the closed box shows
// the chosen line cut in the middle, where it keeps both the scheme and the
// end of a URL, and its tooltip then gives the line whole.
//
// An item's Qt::ToolTipRole text (a description of what the line selects)
// is shown by the list for that item and by the closed box, under the line.
class SiteBox final : public QComboBox {
    Q_OBJECT

public:
    explicit SiteBox(QWidget* parent = nullptr);

    // The chosen line as the closed box shows it.
    QString shownText() const;
    // The closed box's tooltip; empty when the line shows whole and has no
    // description.
    QString toolTipText() const;
    // The width the drop-down list takes.
    int popupWidth() const;

    void showPopup() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    // The width the closed box has for the line's text.
    int textRoom() const;
};

}  // namespace app

// The engine site box (cbxSites): every site line can be read whole, however
// long, without the box widening the window, and the user can type a line
// of their own.
#pragma once

#include <QComboBox>

namespace app {

// An editable combo box whose size ignores its lines. Its drop-down list is
// as wide as the longest line (at most the screen). While the edit field has
// no focus it shows a line too long for it cut in the middle, where it keeps
// both the scheme and the end of a URL, and the box's tooltip then gives the
// line whole; while the user edits, the field shows the text as typed. A
// typed text never becomes an item by itself: the window decides which
// lines the list keeps.
//
// An item's Qt::ToolTipRole text (a description of what the line selects)
// is shown by the list for that item and by the closed box, under the line,
// while the field holds that item's line.
class SiteBox final : public QComboBox {
    Q_OBJECT

public:
    explicit SiteBox(QWidget* parent = nullptr);

    // The line in the edit field as it is drawn now.
    QString shownText() const;
    // The closed box's tooltip; empty when the line shows whole and has no
    // description.
    QString toolTipText() const;
    // The width the drop-down list takes.
    int popupWidth() const;

    void showPopup() override;

protected:
    bool event(QEvent* event) override;
};

}  // namespace app

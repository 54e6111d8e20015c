#include "app/plain_tool_tip.h"

#include <QHelpEvent>
#include <QTextDocument>
#include <QToolTip>

namespace app {

bool ShowPlainToolTip(QWidget& widget, QEvent& event, const QString& tip) {
    if (tip.isEmpty()) {
        QToolTip::hideText();
        event.ignore();
    } else {
        QToolTip::showText(static_cast<QHelpEvent&>(event).globalPos(),
                           Qt::convertFromPlainText(tip, Qt::WhiteSpaceNormal), &widget);
    }
    return true;
}

}  // namespace app

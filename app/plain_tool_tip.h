// The tooltip of a widget whose text it computes itself and which quotes
// what files and servers say.
#pragma once

#include <QString>

class QEvent;
class QWidget;

namespace app {

// Answers a QEvent::ToolTip for widget: shows tip as plain text, never
// markup, wrapped at blanks; with tip empty hides any tooltip and leaves the
// event ignored. Returns true: the event has been handled.
bool ShowPlainToolTip(QWidget& widget, QEvent& event, const QString& tip);

}  // namespace app

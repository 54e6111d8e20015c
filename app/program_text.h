// Where the program's 8-bit texts meet the widgets, and where its windows
// first appear.
#pragma once

#include <QString>
#include <string>

class QWidget;

namespace app {

// A text the program holds as bytes (from a file, a server, the brand) as
// the widgets show it: in the system's 8-bit encoding.
QString Decode(const std::string& bytes);

// Moves a window to the centre of the screen it is on.
void CentreOnScreen(QWidget& window);

}  // namespace app

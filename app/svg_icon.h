// The program's own pictures (its mark and the toolbar's buttons) are SVG
// drawings, drawn afresh for every size and pixel ratio a desktop asks for.
#pragma once

#include <QIcon>
#include <QString>

namespace app {

// An icon drawn from an SVG file, usually one of the program's resources
// (":/icons/news.svg"). A file that is missing or holds no SVG drawing gives
// an icon whose isNull() is true.
QIcon SvgIcon(const QString& file);

}  // namespace app

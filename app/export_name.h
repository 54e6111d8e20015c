// The file name Export All suggests: the keyword and the day, made safe for
// a file name.
#pragma once

#include <QDate>
#include <QString>

namespace app {

// A file name's own limit is 255 bytes on the usual disks; the keyword's part
// stays well below it, leaving room for the date and the extension.
inline constexpr int kMaxExportNameKeywordBytes = 200;

// "<keyword>-<yyyy-mm-dd>.csv". Runs of white space become one space;
// control characters and the characters some disk or desktop refuses in a
// name (/ \ : * ? " < > |) become "_"; dots and spaces at either end go
// (a hidden file, "..", a name some disks refuse); the keyword is cut to
// kMaxExportNameKeywordBytes of UTF-8 at a character's end. A keyword with
// nothing left is "results".
QString ExportFileName(const QString& keyword, QDate day);

}  // namespace app

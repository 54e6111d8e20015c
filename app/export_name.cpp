#include "app/export_name.h"

#include <QStringView>

namespace app {

namespace {

bool Refused(char32_t c) {
    return c < 0x20 || c == 0x7f || QStringView(u"/\\:*?\"<>|").contains(QChar(c));
}

}  // namespace

QString ExportFileName(const QString& keyword, QDate day) {
    QString name;
    int bytes = 0;
    for (const char32_t c : keyword.simplified().toUcs4()) {
        const int size = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
        if (bytes + size > kMaxExportNameKeywordBytes) {
            break;
        }
        bytes += size;
        name += Refused(c) ? QStringLiteral("_") : QString::fromUcs4(&c, 1);
    }
    qsizetype first = 0;
    while (first < name.size() && (name[first] == u'.' || name[first] == u' ')) {
        ++first;
    }
    qsizetype end = name.size();
    while (end > first && (name[end - 1] == u'.' || name[end - 1] == u' ')) {
        --end;
    }
    name = name.mid(first, end - first);
    if (name.isEmpty()) {
        name = QStringLiteral("results");
    }
    return name + u'-' + day.toString(Qt::ISODate) + QStringLiteral(".csv");
}

}  // namespace app

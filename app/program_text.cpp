#include "app/program_text.h"

#include <QScreen>
#include <QWidget>

namespace app {

QString Decode(const std::string& bytes) {
    return QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

void CentreOnScreen(QWidget& window) {
    if (const QScreen* shownOn = window.screen()) {
        window.move(shownOn->availableGeometry().center() -
                    QPoint(window.width() / 2, window.height() / 2));
    }
}

}  // namespace app

#include "app/svg_icon.h"

#include <QApplication>
#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>
#include <QStyle>
#include <QStyleOption>
#include <QSvgRenderer>
#include <algorithm>
#include <memory>
#include <utility>

// The drawings live in the library's resources, which a static library must
// register by hand; outside any namespace, as Qt requires.
static void InitIconResources() {
    Q_INIT_RESOURCE(icons);
}

namespace app {

namespace {

// Drawing through QSvgRenderer here rather than through Qt's SVG icon plugin
// keeps the icons independent of where the plugins are installed, and the
// program's link to Qt SVG tells the package which library it needs.
class SvgIconEngine final : public QIconEngine {
public:
    explicit SvgIconEngine(QString file)
        : file_(std::move(file)), renderer_(std::make_shared<QSvgRenderer>(file_)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        const qreal ratio =
            painter->device() != nullptr ? painter->device()->devicePixelRatioF() : qreal{1};
        painter->drawPixmap(rect, pixmap(rect.size() * ratio, mode, state));
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State /*state*/) override {
        if (size.isEmpty() || !renderer_->isValid()) {
            return QPixmap();
        }
        const QString key = QStringLiteral("zorvane-svg:%1:%2x%3:%4")
                                .arg(file_)
                                .arg(size.width())
                                .arg(size.height())
                                .arg(static_cast<int>(mode));
        QPixmap drawn;
        if (QPixmapCache::find(key, &drawn)) {
            return drawn;
        }
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            // Centred and square, so a wide or tall request never stretches the drawing.
            const int side = std::min(size.width(), size.height());
            QPainter painter(&image);
            renderer_->render(&painter, QRectF((size.width() - side) / 2.0,
                                               (size.height() - side) / 2.0, side, side));
        }
        drawn = QPixmap::fromImage(image);
        // A disabled button greys its picture the way the style greys any other.
        if (mode != QIcon::Normal && qobject_cast<QApplication*>(QCoreApplication::instance())) {
            QStyleOption option;
            option.palette = QApplication::palette();
            drawn = QApplication::style()->generatedIconPixmap(mode, drawn, &option);
        }
        QPixmapCache::insert(key, drawn);
        return drawn;
    }

    QIconEngine* clone() const override { return new SvgIconEngine(*this); }
    bool isNull() override { return !renderer_->isValid(); }

private:
    QString file_;
    // One parsed drawing, shared by the copies QIcon makes of its engine.
    std::shared_ptr<QSvgRenderer> renderer_;
};

}  // namespace

QIcon SvgIcon(const QString& file) {
    static const bool registered = (InitIconResources(), true);
    Q_UNUSED(registered);
    return QIcon(new SvgIconEngine(file));
}

}  // namespace app

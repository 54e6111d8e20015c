#include "app/html_view.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>

namespace app {

namespace {

// What a refused picture shows: without a stand-in, Qt would read the named
// file itself.
QImage BlankPicture() {
    QImage blank(1, 1, QImage::Format_ARGB32);
    blank.fill(Qt::transparent);
    return blank;
}

}  // namespace

HtmlView::HtmlView(std::string pictureFolder, QWidget* parent)
    : QTextBrowser(parent), pictureFolder_(std::move(pictureFolder)) {
    setReadOnly(true);
    // A link leads to the brander's web page: it opens in the desktop's
    // browser while the page stays in view. The owner starts the browser,
    // so that every start the program makes says the same when it fails.
    setOpenLinks(false);
    setOpenExternalLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, [this](const QUrl& link) {
        if (link.isRelative() && link.path().isEmpty() && link.hasFragment()) {
            scrollToAnchor(link.fragment());
            return;
        }
        emit linkClicked(link.toString(QUrl::FullyEncoded));
    });
}

QVariant HtmlView::loadResource(int type, const QUrl& name) {
    if (name.scheme().compare(QLatin1String("data"), Qt::CaseInsensitive) == 0) {
        return QTextBrowser::loadResource(type, name);
    }
    if (type == QTextDocument::ImageResource) {
        const QVariant picture = loadFromFolder(name);
        return picture.isValid() ? picture : QVariant(BlankPicture());
    }
    return {};
}

QVariant HtmlView::loadFromFolder(const QUrl& name) const {
    const QString file = name.path();
    if (pictureFolder_.empty() || !name.isRelative() || name.hasQuery() || file.isEmpty() ||
        file.contains(QLatin1Char('/')) || file == QLatin1String(".") ||
        file == QLatin1String("..")) {
        return {};
    }
    const QFileInfo info(QString::fromLocal8Bit(pictureFolder_.c_str()) + file);
    if (!info.isFile() || info.size() > kMaxPictureFileSize) {
        return {};
    }
    QFile picture(info.filePath());
    if (!picture.open(QIODevice::ReadOnly)) {
        return {};
    }
    return picture.read(kMaxPictureFileSize);
}

}  // namespace app

// The read-only HTML view of the welcome page and the news details: a link
// to a place on the page scrolls there, any other link is handed to the
// view's owner, which opens it in the browser or says why not, and the page
// reads nothing from the disk beyond what its owner allows.
#pragma once

#include <QTextBrowser>
#include <string>

namespace app {

class HtmlView final : public QTextBrowser {
    Q_OBJECT

public:
    // A picture file larger than this is not shown: a page's pictures are a
    // few hundred KiB, and the view holds them whole.
    static constexpr qint64 kMaxPictureFileSize = qint64{8} << 20;

    // Pictures given as data: URLs always show. With a pictureFolder (ending
    // in "/"), a page may also name a regular file directly in that folder
    // ("logo.png"); nothing else is ever read, since a name such as
    // /dev/zero or /dev/tty would block the window for good.
    explicit HtmlView(std::string pictureFolder = {}, QWidget* parent = nullptr);

signals:
    // A link other than to a place on the page was clicked; url is as the
    // page gave it, fully encoded.
    void linkClicked(const QString& url);

protected:
    QVariant loadResource(int type, const QUrl& name) override;

private:
    QVariant loadFromFolder(const QUrl& name) const;

    std::string pictureFolder_;
};

}  // namespace app

#pragma once

#include <QLabel>
#include <string>

namespace app {

// A label that stands for a web link: its caption underlined, blue under the
// mouse, and a click reports itself. Each label holds its own URL text.
class LinkLabel final : public QLabel {
    Q_OBJECT

public:
    explicit LinkLabel(QWidget* parent = nullptr);

    const std::string& url() const { return url_; }
    void setUrl(std::string url) { url_ = std::move(url); }

signals:
    void clicked();

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    std::string url_;
};

}  // namespace app

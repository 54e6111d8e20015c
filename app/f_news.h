// The news window: the brander's current news titles above, the selected
// item's details below; reading an item records it as the last one read.
#pragma once

#include <QDialog>
#include <QString>
#include <string>
#include <string_view>
#include <vector>

#include "publisher/news_brand.h"
#include "publisher/news_client.h"

class QPushButton;
class QSplitter;
class QTextBrowser;
class QTreeWidget;

namespace app {

// The news service's 8-bit texts as the brander's server writes them, in
// Windows-1252. The five bytes that code page leaves undefined keep their
// own code points, so no byte is lost or replaced.
QString DecodeWindows1252(std::string_view bytes);

class TfrmNews final : public QDialog {
    Q_OBJECT

public:
    // The designed client area and panels.
    static constexpr int kClientWidth = 682;
    static constexpr int kClientHeight = 411;
    static constexpr int kTopPanelHeight = 105;
    static constexpr int kBottomPanelHeight = 41;
    static constexpr int kSplitterHeight = 10;
    static constexpr int kMinPanelSize = 10;
    static constexpr int kPublishedWidth = 160;
    // Where a row of lvwItems keeps its news id, the bytes as the service sent them.
    static constexpr int kNewsIdRole = Qt::UserRole;

    // NewsList holds the records of the news list reply ("id^title^published");
    // news serves the details requests and must outlive the window. The id of
    // an item read is stored in the settings file at settingsPath.
    TfrmNews(const std::vector<std::string>& NewsList, publisher::NewsClient& news,
             publisher::NewsBrand brand, std::string settingsPath, QWidget* parent = nullptr);

    QWidget* panTop;
    QTreeWidget* lvwItems;
    QSplitter* splNews;
    QTextBrowser* prfEditorNews;
    QWidget* panBottom;
    QPushButton* btnExit;

    // Set while a details request for the selected row runs.
    bool FetchingDetails = false;

    // One row per record in list order, nothing selected.
    void FormShow();
    // Fetches, shows and records as read the selected row's item; the busy
    // cursor and FetchingDetails are undone on every way out. Throws what
    // storing the id throws, after the details are shown.
    void lvwItemsChange();
    // Whether lvwItems may change its selection now: never while a details
    // request runs, which keeps the window handling input meanwhile.
    bool lvwItemsChanging() const;
    // Closes the window accepted.
    void btnExitClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::vector<std::string> newsList_;
    publisher::NewsClient& news_;
    publisher::NewsBrand brand_;
    std::string settingsPath_;
    bool shown_ = false;
};

}  // namespace app

#pragma once

#include <QMainWindow>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/message_dialog.h"
#include "app/save_dialog.h"
#include "app/status_label.h"
#include "branding/branding_settings.h"
#include "history/run_recorder.h"
#include "net/http_client.h"
#include "publisher/news_brand.h"
#include "search/engines.h"
#include "search/profiles/profile_catalog.h"
#include "util/program_folder.h"

class QAction;
class QComboBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QMenu;
class QModelIndex;
class QMovie;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QStackedWidget;
class QStatusBar;
class QTableView;
class QTextBrowser;
class QTimer;
class QToolButton;

namespace app {

class HistoryWindow;
class LinkLabel;
class ResultListModel;
class ResultSortModel;
class WindowPublisherHost;
class WindowSearchHost;

// The main window. Controls keep the names users of the original know, so a
// handler reads like the behaviour it implements; they are public like the
// fields of a designed form, for the layers that drive the window and for
// tests.
class TfrmMain final : public QMainWindow {
    Q_OBJECT

public:
    // The designed client area.
    static constexpr int kClientWidth = 843;
    static constexpr int kClientHeight = 542;
    // The grid's designed column widths: Pos, Anchor, URL, Engine Site.
    static constexpr std::array<int, 4> kDesignedColumnWidths{80, 300, 200, 150};

    // Side files are looked up in programFolder (ending in "/"); the dialogs
    // default to the Qt ones and the brand's picks to the system's random
    // source.
    explicit TfrmMain(std::string programFolder = util::ProgramFolder(),
                      std::unique_ptr<MessageDialog> messageDialog = {},
                      std::unique_ptr<SaveDialog> saveDialog = {},
                      std::unique_ptr<branding::RandomSource> random = {},
                      QWidget* parent = nullptr);
    ~TfrmMain() override;

    const std::string& programFolder() const { return programFolder_; }
    MessageDialog& msgMain() { return *msgMain_; }
    SaveDialog& bsSkinSaveDialog1() { return *saveDialog_; }
    ResultListModel& results() { return *resultModel_; }
    // The rows as lvwResults shows them: its indexes are this model's.
    ResultSortModel& resultView() { return *sortModel_; }
    WindowSearchHost& searchHost() { return *searchHost_; }

    // The site line in the site box: a listed line's bytes as read from a
    // sites.txt, or the text the user typed; empty without either.
    std::string siteText() const;
    // Whether the site box holds a text that is no listed line.
    bool siteTextTyped() const;
    // The user's own sites.txt, in the configuration folder; "" without one.
    static std::string userSitesPath();

    // The grid's context menu for the grid's row `row` as shown (-1: none
    // under the pointer): Open URL, Copy URL, Copy rows.
    std::unique_ptr<QMenu> createResultsMenu(int row);

    // Banner centring: each size halved on its own, then subtracted, so a
    // panel of 840 and a picture of 105 give 420 - 52 = 368.
    static int centredOffset(int panelSize, int controlSize) {
        return panelSize / 2 - controlSize / 2;
    }

    // Set by Stop and by closing; a running search ends at its next test.
    bool StopRequested = false;

    // The brand, filled once at start-up and only read afterwards.
    branding::BrandingSettings BrandingSettings;

    // The records of the last news list request (id^title^published).
    std::vector<std::string> NewsList;

    // Where the update check looks for mainappupdate.inf, ending in "/".
    std::string LiveUpdateBaseURL;

    // Pages.
    QStackedWidget* pgcPrinc;
    QWidget* stsWelcome;
    QTextBrowser* prfWelcome;
    QPushButton* bsSkinButton1;
    QWidget* stsMain;

    // Tool bar.
    QPushButton* btnMakeMoney;
    QPushButton* btnAbout;
    // Opens the History window; its menu holds the history's setting and
    // Clear History.
    QToolButton* btnHistory;
    QAction* actKeepHistory;
    QAction* actClearHistory;
    QToolButton* btnNews;
    QToolButton* btnUpdate;
    QToolButton* btnHelp;

    // Banner.
    QWidget* panBanner;
    QLabel* imgBanner;
    QLabel* gifBanner;

    // Search bar.
    QLineEdit* edtKeyword;
    QSpinBox* speMaxNum;
    QComboBox* cbxSites;
    QPushButton* btnSearch;
    QPushButton* btnStop;
    QPushButton* btnExportAll;

    // Result list and its buttons.
    QTableView* lvwResults;
    QPushButton* btnSelectAll;
    QPushButton* btnClearSell;
    QPushButton* btnDelSel;
    QPushButton* btnDelAll;

    // Links.
    QWidget* panLinks;
    LinkLabel* lblLink1URL;
    LinkLabel* lblLink2URL;

    // Status bar.
    QStatusBar* bsSkinStatusBar1;
    // Status texts never widen the window: they are cut to fit.
    StatusLabel* MainStatusPanel;
    StatusLabel* SecondStatusPanel;
    QProgressBar* MainGauge;
    // Under the main status: what the last search's pages showed (a page the
    // pass could not read); hidden when there is nothing to say.
    StatusLabel* PageNoticePanel;
    // Under that: why the last search was not kept in the history.
    StatusLabel* HistoryNoticePanel;

    // The one-shot news timer, disabled as designed.
    QTimer* Timer1;

    // The publisher services' client and the harvester's client; each
    // serves one request at a time and keeps its own cookies.
    net::HttpClient IdHTTP1;
    net::HttpClient IdHTTP2;

    // The built-in engine texts; tests point them at loopback servers.
    search::EngineSettings EngineSettings;
    // The engine profiles a site line may select: built in, beside the
    // program, and the user's own.
    search::ProfileCatalog profiles_;

    void FormCreate();
    void FormShow();
    void FormResize();
    void FormClose();
    void LoadBrandingSettings();
    void Timer1Timer();
    void ShowMessageHint(const std::string& text);

    void bsSkinButton1Click();
    void imgBannerClick();
    void gifBannerClick();
    void btnMakeMoneyClick();
    void btnHelpClick();
    void btnAboutClick();
    void btnNewsClick();
    void btnUpdateClick();

    // The brand's news tier fields, as the publisher services take them.
    publisher::NewsBrand newsBrand() const;
    std::string settingsPath() const { return programFolder_ + "dbsettings.dat"; }
    // Starts the updater with args, then closes the window, which ends the
    // program, so the updater can replace its files.
    void startUpdater(const std::string& program, const std::vector<std::string>& args);

    // The rank history: where it is (the user's one database, "" without a
    // data folder), the History window (made at the first click) and the
    // setting's and Clear History's handlers.
    static std::string historyPath();
    HistoryWindow* frmHistory() { return frmHistory_; }
    void btnHistoryClick();
    void actKeepHistoryToggled(bool keep);
    void actClearHistoryClick();

    void btnSearchClick();
    void btnStopClick();
    void btnExportAllClick();
    void btnSelectAllClick();
    void btnClearSellClick();
    void btnDelSelClick();
    void btnDelAllClick();
    void lblLink1URLClick();
    void lblLink2URLClick();

    // The grid's own actions: a row's URL in the browser or on the
    // clipboard, the selected rows on the clipboard as tab-separated text.
    void lvwResultsDblClick(const QModelIndex& index);
    void lvwResultsContextPopup(const QPoint& at);
    // row is an index of results(), whatever order the grid shows.
    void openRowUrl(int row);
    void copyRowUrl(int row);
    // The selected rows in the order the grid shows them.
    void copySelectedRows();
    // Starts the web browser on url; says in the status bar when there is no
    // browser or url is not an http or https address. Every address the
    // window opens goes this way.
    void openInBrowser(const std::string& url);
    // A link of the welcome page or of a news item: as openInBrowser, but
    // an empty link is no address to start the browser on.
    void openPageLink(const QString& url);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The window's handler for a signal: exceptions are reported, and it
    // sees everything a running search has harvested.
    std::function<void()> handler(void (TfrmMain::*method)());
    std::function<void()> handler(std::function<void()> action);
    void createControls();
    QWidget* createToolBar();
    QWidget* createSearchBar();
    QWidget* createListButtons();
    void createStatusBar();
    void nameControls();
    void loadProfiles();
    void loadSites();
    // The item whose line the site box shows (the chosen one first); -1 for
    // a typed text.
    int listedSiteIndex() const;
    void addSiteItem(const std::string& line);
    // Adds a typed line used for a search to the box and to the user's
    // sites.txt.
    void rememberSiteLine(const std::string& line);
    // True for a typed line the box may keep; else says why not in the
    // status.
    bool checkTypedSiteLine(const std::string& line);
    void removeLeftoverPlainCopy();
    void showPlainCopy();
    void showBanner();
    void showLinks();
    void setListedCount();
    void restoreSettings();
    void saveSettings();
    // The designed or remembered widths, with the room the grid has beyond
    // them shared by Anchor and URL.
    void fitColumns();
    // True when nothing unexported would be lost, or the user agrees to
    // lose it.
    bool mayDiscardRows();
    // The history a search is kept in, or none (the setting is off, or the
    // file cannot be opened: said under the status). A damaged file is
    // offered to be moved aside, once per session.
    history::RunRecorder openHistory();
    void showHistoryNotice(const std::string& text);
    std::string suggestedExportPath() const;
    bool handleSearchBarKey(QObject* watched, const QKeyEvent& key);
    bool handleResultsKey(const QKeyEvent& key);

    std::string programFolder_;
    std::unique_ptr<MessageDialog> msgMain_;
    std::unique_ptr<SaveDialog> saveDialog_;
    std::unique_ptr<branding::RandomSource> random_;
    QMovie* bannerMovie_ = nullptr;
    ResultListModel* resultModel_;
    ResultSortModel* sortModel_;
    std::unique_ptr<WindowSearchHost> searchHost_;
    std::unique_ptr<WindowPublisherHost> publisherHost_;
    // No dbsettings.dat: the program as installed, under its own name.
    bool plainCopy_ = false;
    bool searching_ = false;
    bool shown_ = false;
    bool geometryRestored_ = false;
    // Whether the rows in the grid are all in the file last exported.
    bool rowsExported_ = false;
    bool closeWithoutAsking_ = false;
    bool discardConfirmed_ = false;
    QString exportFolder_;
    // The settings file's language and region for the profiles' {lang} and
    // {region}; empty: each profile's default.
    search::ProfileLocale locale_;
    // The column widths before the free room is shared, and each column's
    // share of it.
    std::array<int, 4> baseColumnWidths_ = kDesignedColumnWidths;
    std::array<int, 4> columnShares_{};
    bool fittingColumns_ = false;
    QWidget* resultsViewport_ = nullptr;
    HistoryWindow* frmHistory_ = nullptr;
    bool damagedHistoryAsked_ = false;
};

}  // namespace app

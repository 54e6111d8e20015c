#pragma once

#include <QMainWindow>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/message_dialog.h"
#include "app/save_dialog.h"
#include "branding/branding_settings.h"
#include "net/http_client.h"
#include "publisher/news_brand.h"
#include "search/engines.h"
#include "util/program_folder.h"

class QComboBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
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

class LinkLabel;
class ResultListModel;
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
    WindowSearchHost& searchHost() { return *searchHost_; }

    // The selected engine site line as read from sites.txt; empty without one.
    std::string siteText() const;

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
    QLabel* MainStatusPanel;
    QLabel* SecondStatusPanel;
    QProgressBar* MainGauge;

    // The one-shot news timer, disabled as designed.
    QTimer* Timer1;

    // The publisher services' client and the harvester's client; each
    // serves one request at a time and keeps its own cookies.
    net::HttpClient IdHTTP1;
    net::HttpClient IdHTTP2;

    // The built-in engine texts; tests point them at loopback servers.
    search::EngineSettings EngineSettings;

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

    void btnSearchClick();
    void btnStopClick();
    void btnExportAllClick();
    void btnSelectAllClick();
    void btnClearSellClick();
    void btnDelSelClick();
    void btnDelAllClick();
    void lblLink1URLClick();
    void lblLink2URLClick();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The window's handler for a signal: exceptions are reported, and it
    // sees everything a running search has harvested.
    std::function<void()> handler(void (TfrmMain::*method)());
    void createControls();
    QWidget* createToolBar();
    QWidget* createSearchBar();
    QWidget* createListButtons();
    void createStatusBar();
    void nameControls();
    void loadSites();
    void removeLeftoverPlainCopy();
    void showBanner();
    void showLinks();
    void setListedCount();

    std::string programFolder_;
    std::unique_ptr<MessageDialog> msgMain_;
    std::unique_ptr<SaveDialog> saveDialog_;
    std::unique_ptr<branding::RandomSource> random_;
    QMovie* bannerMovie_ = nullptr;
    ResultListModel* resultModel_;
    std::unique_ptr<WindowSearchHost> searchHost_;
    std::unique_ptr<WindowPublisherHost> publisherHost_;
    bool searching_ = false;
    bool shown_ = false;
};

}  // namespace app

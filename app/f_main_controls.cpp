// The main window's controls as designed: their creation, names, bands and
// the status bar. What the window does with them is in the other f_main files.
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMovie>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTableView>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>

#include "app/cell_tip_delegate.h"
#include "app/f_main.h"
#include "app/html_view.h"
#include "app/link_label.h"
#include "app/program_text.h"
#include "app/result_list_model.h"
#include "app/result_sort_model.h"
#include "app/site_box.h"
#include "app/svg_icon.h"
#include "app/window_search_host.h"
#include "app/zorvane_application.h"

namespace app {

namespace {

constexpr int kToolBarHeight = 43;
constexpr int kBannerHeight = 65;
constexpr int kLinksHeight = 36;
// The designed size of the still banner before a picture sizes it.
constexpr int kBannerDesignWidth = 468;
constexpr int kBannerDesignHeight = 60;

// The links as designed, before a brand gives its own.
constexpr const char* kDesignedLinkCaption = "Google";
constexpr const char* kDesignedLinkUrl = "http://www.google.com";

// The item count as wide as six digits need, not the widest integer, so the
// keyword and the site keep their room in the designed width; larger counts
// scroll in the box. Qt sizes the box for its maximum's text: the same
// measure with six digits in its place, whatever the style or font.
// Characters the keyword box shows at the least.
constexpr int kKeywordMinimumChars = 12;

class CountBox final : public QSpinBox {
public:
    QSize sizeHint() const override { return forSixDigits(QSpinBox::sizeHint()); }
    QSize minimumSizeHint() const override { return forSixDigits(QSpinBox::minimumSizeHint()); }

private:
    QSize forSixDigits(QSize hint) const {
        const QFontMetrics metrics = fontMetrics();
        hint.rwidth() += metrics.horizontalAdvance(QStringLiteral("999999")) -
                         metrics.horizontalAdvance(textFromValue(maximum()));
        return hint;
    }
};

QHBoxLayout* BandLayout(QWidget* band) {
    auto* layout = new QHBoxLayout(band);
    layout->setContentsMargins(6, 3, 6, 3);
    return layout;
}

}  // namespace

void TfrmMain::createControls() {
    pgcPrinc = new QStackedWidget(this);
    setCentralWidget(pgcPrinc);

    stsWelcome = new QWidget;
    auto* welcomeLayout = new QVBoxLayout(stsWelcome);
    welcomeLayout->setContentsMargins(0, 0, 0, 0);
    // Pictures of the welcome page may stand beside the program.
    auto* welcomeView = new HtmlView(programFolder_);
    connect(welcomeView, &HtmlView::linkClicked, this,
            [this](const QString& url) { handler([this, url] { openPageLink(url); })(); });
    prfWelcome = welcomeView;
    welcomeLayout->addWidget(prfWelcome, 1);
    auto* welcomeBar = new QWidget;
    auto* welcomeBarLayout = BandLayout(welcomeBar);
    bsSkinButton1 = new QPushButton(QStringLiteral("Thanks, just show me the main application"));
    bsSkinButton1->setDefault(true);
    welcomeBarLayout->addStretch(1);
    welcomeBarLayout->addWidget(bsSkinButton1);
    welcomeBarLayout->addStretch(1);
    welcomeLayout->addWidget(welcomeBar);
    connect(bsSkinButton1, &QPushButton::clicked, this, handler(&TfrmMain::bsSkinButton1Click));
    pgcPrinc->addWidget(stsWelcome);

    stsMain = new QWidget;
    auto* mainLayout = new QVBoxLayout(stsMain);
    mainLayout->setContentsMargins(0, 0, 0, 0);
    mainLayout->setSpacing(0);
    mainLayout->addWidget(createToolBar());

    panBanner = new QWidget;
    panBanner->setFixedHeight(kBannerHeight);
    imgBanner = new QLabel(panBanner);
    imgBanner->setGeometry(0, 0, kBannerDesignWidth, kBannerDesignHeight);
    gifBanner = new QLabel(panBanner);
    gifBanner->hide();
    panBanner->installEventFilter(this);
    imgBanner->installEventFilter(this);
    gifBanner->installEventFilter(this);
    mainLayout->addWidget(panBanner);

    mainLayout->addWidget(createSearchBar());

    lvwResults = new QTableView;
    lvwResults->setModel(sortModel_);
    lvwResults->setShowGrid(true);
    lvwResults->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvwResults->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvwResults->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Harvest order until the user clicks a header.
    lvwResults->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    lvwResults->setSortingEnabled(true);
    lvwResults->setWordWrap(false);
    lvwResults->verticalHeader()->hide();
    lvwResults->verticalHeader()->setDefaultSectionSize(lvwResults->fontMetrics().height() + 6);
    lvwResults->horizontalHeader()->setSectionsMovable(false);
    lvwResults->horizontalHeader()->setHighlightSections(false);
    static_assert(static_cast<int>(kDesignedColumnWidths.size()) == ResultListModel::ColumnCount);
    for (int column = 0; column < ResultListModel::ColumnCount; ++column) {
        lvwResults->setColumnWidth(column, kDesignedColumnWidths[column]);
    }
    // A width the user drags becomes the column's own; the room the grid
    // has beyond the columns is shared out again at the next resize.
    connect(lvwResults->horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int column, int, int width) {
                if (!fittingColumns_ && column >= 0 && column < ResultListModel::ColumnCount) {
                    baseColumnWidths_[column] = std::max(1, width - columnShares_[column]);
                }
            });
    lvwResults->setItemDelegate(new CellTipDelegate(lvwResults));
    lvwResults->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lvwResults, &QTableView::customContextMenuRequested, this,
            [this](const QPoint& at) { handler([this, at] { lvwResultsContextPopup(at); })(); });
    connect(lvwResults, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        handler([this, index] { lvwResultsDblClick(index); })();
    });
    lvwResults->installEventFilter(this);
    // Filters see events while the window is still being built, so the
    // viewport is known only once it is watched.
    resultsViewport_ = lvwResults->viewport();
    resultsViewport_->installEventFilter(this);
    // Any change to the rows makes them rows that no export holds.
    for (const auto signal : {&ResultListModel::rowsInserted, &ResultListModel::rowsRemoved}) {
        connect(resultModel_, signal, this, [this] { rowsExported_ = false; });
    }
    connect(resultModel_, &ResultListModel::modelReset, this, [this] { rowsExported_ = false; });
    // The selection stays as visible as with the focus when the list loses it.
    QPalette listPalette = lvwResults->palette();
    for (const auto role : {QPalette::Highlight, QPalette::HighlightedText}) {
        listPalette.setColor(QPalette::Inactive, role, listPalette.color(QPalette::Active, role));
    }
    lvwResults->setPalette(listPalette);
    mainLayout->addWidget(lvwResults, 1);

    mainLayout->addWidget(createListButtons());

    panLinks = new QWidget;
    panLinks->setFixedHeight(kLinksHeight);
    auto* linksLayout = BandLayout(panLinks);
    lblLink1URL = new LinkLabel;
    lblLink2URL = new LinkLabel;
    for (LinkLabel* link : {lblLink1URL, lblLink2URL}) {
        link->setText(QString::fromLatin1(kDesignedLinkCaption));
        link->setUrl(kDesignedLinkUrl);
    }
    lblLink1URL->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    lblLink2URL->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    linksLayout->addWidget(lblLink1URL);
    linksLayout->addStretch(1);
    linksLayout->addWidget(lblLink2URL);
    mainLayout->addWidget(panLinks);
    connect(lblLink1URL, &LinkLabel::clicked, this, handler(&TfrmMain::lblLink1URLClick));
    connect(lblLink2URL, &LinkLabel::clicked, this, handler(&TfrmMain::lblLink2URLClick));

    pgcPrinc->addWidget(stsMain);

    createStatusBar();
    nameControls();

    Timer1 = new QTimer(this);
    Timer1->setSingleShot(true);
    Timer1->setInterval(2000);
    connect(Timer1, &QTimer::timeout, this, handler(&TfrmMain::Timer1Timer));
}

std::function<void()> TfrmMain::handler(void (TfrmMain::*method)()) {
    return handler([this, method] { (this->*method)(); });
}

std::function<void()> TfrmMain::handler(std::function<void()> action) {
    return Guarded([this, action = std::move(action)] {
        // A search running underneath holds its newest rows and texts back
        // until the next paint; a handler acts on the list as it stands.
        searchHost_->publish();
        action();
    });
}

// Every control carries its designed name, so a brand's skin can address it
// ("#btnMakeMoney { ... }").
void TfrmMain::nameControls() {
    const std::pair<QObject*, const char*> controls[] = {
        {pgcPrinc, "pgcPrinc"},
        {stsWelcome, "stsWelcome"},
        {prfWelcome, "prfWelcome"},
        {bsSkinButton1, "bsSkinButton1"},
        {stsMain, "stsMain"},
        {btnMakeMoney, "btnMakeMoney"},
        {btnAbout, "btnAbout"},
        {btnHistory, "btnHistory"},
        {btnNews, "btnNews"},
        {btnUpdate, "btnUpdate"},
        {btnHelp, "btnHelp"},
        {panBanner, "panBanner"},
        {imgBanner, "imgBanner"},
        {gifBanner, "gifBanner"},
        {edtKeyword, "edtKeyword"},
        {speMaxNum, "speMaxNum"},
        {cbxSites, "cbxSites"},
        {btnSearch, "btnSearch"},
        {btnStop, "btnStop"},
        {btnExportAll, "btnExportAll"},
        {lvwResults, "lvwResults"},
        {btnSelectAll, "btnSelectAll"},
        {btnClearSell, "btnClearSell"},
        {btnDelSel, "btnDelSel"},
        {btnDelAll, "btnDelAll"},
        {panLinks, "panLinks"},
        {lblLink1URL, "lblLink1URL"},
        {lblLink2URL, "lblLink2URL"},
        {bsSkinStatusBar1, "bsSkinStatusBar1"},
        {MainStatusPanel, "MainStatusPanel"},
        {SecondStatusPanel, "SecondStatusPanel"},
        {MainGauge, "MainGauge"},
    };
    for (const auto& [control, name] : controls) {
        control->setObjectName(QString::fromLatin1(name));
    }
}

QWidget* TfrmMain::createToolBar() {
    auto* bar = new QWidget;
    bar->setFixedHeight(kToolBarHeight);
    auto* layout = BandLayout(bar);
    btnMakeMoney = new QPushButton(QStringLiteral("Make Money"));
    btnAbout = new QPushButton(QStringLiteral("About"));
    layout->addWidget(btnMakeMoney);
    layout->addWidget(btnAbout);
    layout->addStretch(1);
    const auto pictureButton = [&](const char* picture, const char* hint) {
        auto* button = new QToolButton;
        button->setIcon(SvgIcon(QString::fromLatin1(picture)));
        button->setIconSize(QSize(24, 24));
        button->setAutoRaise(true);
        button->setToolTip(QString::fromLatin1(hint));
        layout->addWidget(button);
        return button;
    };
    btnHistory = pictureButton(":/icons/history.svg", "History");
    btnHistory->setPopupMode(QToolButton::MenuButtonPopup);
    auto* historyMenu = new QMenu(btnHistory);
    actKeepHistory = historyMenu->addAction(QStringLiteral("Keep a history of searches"));
    actKeepHistory->setCheckable(true);
    actKeepHistory->setChecked(true);
    actClearHistory = historyMenu->addAction(QStringLiteral("Clear History..."));
    btnHistory->setMenu(historyMenu);
    btnNews = pictureButton(":/icons/news.svg", "Check News");
    btnUpdate = pictureButton(":/icons/update.svg", "Check Updates");
    btnHelp = pictureButton(":/icons/help.svg", "Help");
    connect(btnMakeMoney, &QPushButton::clicked, this, handler(&TfrmMain::btnMakeMoneyClick));
    connect(btnAbout, &QPushButton::clicked, this, handler(&TfrmMain::btnAboutClick));
    connect(btnHelp, &QToolButton::clicked, this, handler(&TfrmMain::btnHelpClick));
    connect(btnNews, &QToolButton::clicked, this, handler(&TfrmMain::btnNewsClick));
    connect(btnHistory, &QToolButton::clicked, this, handler(&TfrmMain::btnHistoryClick));
    connect(actKeepHistory, &QAction::toggled, this,
            [this](bool keep) { handler([this, keep] { actKeepHistoryToggled(keep); })(); });
    connect(actClearHistory, &QAction::triggered, this, handler(&TfrmMain::actClearHistoryClick));
    connect(btnUpdate, &QToolButton::clicked, this, handler(&TfrmMain::btnUpdateClick));
    return bar;
}

QWidget* TfrmMain::createSearchBar() {
    auto* bar = new QWidget;
    auto* layout = BandLayout(bar);
    edtKeyword = new QLineEdit;
    speMaxNum = new CountBox;
    // 0 is "all"; a negative count means nothing a user could want.
    speMaxNum->setRange(0, INT_MAX);
    speMaxNum->setSingleStep(1);
    speMaxNum->setValue(0);
    cbxSites = new SiteBox;
    btnSearch = new QPushButton(QStringLiteral("Search"));
    btnStop = new QPushButton(QStringLiteral("Stop"));
    btnExportAll = new QPushButton(QStringLiteral("Export All"));

    // A keyword of two or three words stays readable in the designed width;
    // the box takes whatever the window gains beyond it.
    edtKeyword->setMinimumWidth(
        edtKeyword->fontMetrics().horizontalAdvance(QString(kKeywordMinimumChars, u'n')));
    layout->addWidget(new QLabel(QStringLiteral("Search:")));
    layout->addWidget(edtKeyword, 1);
    layout->addWidget(new QLabel(QStringLiteral("Num items (0=All):")));
    layout->addWidget(speMaxNum);
    layout->addWidget(new QLabel(QStringLiteral("in")));
    layout->addWidget(cbxSites);
    layout->addWidget(btnSearch);
    layout->addWidget(btnStop);
    layout->addSpacing(6);
    layout->addWidget(btnExportAll);
    connect(btnSearch, &QPushButton::clicked, this, handler(&TfrmMain::btnSearchClick));
    connect(btnStop, &QPushButton::clicked, this, handler(&TfrmMain::btnStopClick));
    connect(btnExportAll, &QPushButton::clicked, this, handler(&TfrmMain::btnExportAllClick));
    // Enter in any of them starts a search.
    edtKeyword->installEventFilter(this);
    speMaxNum->installEventFilter(this);
    cbxSites->lineEdit()->installEventFilter(this);
    return bar;
}

QWidget* TfrmMain::createListButtons() {
    auto* bar = new QWidget;
    auto* layout = BandLayout(bar);
    btnSelectAll = new QPushButton(QStringLiteral("Select All"));
    btnClearSell = new QPushButton(QStringLiteral("Clear Selection"));
    btnDelSel = new QPushButton(QStringLiteral("Delete Selected"));
    btnDelAll = new QPushButton(QStringLiteral("Delete All"));
    for (QPushButton* button : {btnSelectAll, btnClearSell, btnDelSel, btnDelAll}) {
        layout->addWidget(button);
    }
    layout->addStretch(1);
    connect(btnSelectAll, &QPushButton::clicked, this, handler(&TfrmMain::btnSelectAllClick));
    connect(btnClearSell, &QPushButton::clicked, this, handler(&TfrmMain::btnClearSellClick));
    connect(btnDelSel, &QPushButton::clicked, this, handler(&TfrmMain::btnDelSelClick));
    connect(btnDelAll, &QPushButton::clicked, this, handler(&TfrmMain::btnDelAllClick));
    return bar;
}

void TfrmMain::createStatusBar() {
    bsSkinStatusBar1 = new QStatusBar;
    setStatusBar(bsSkinStatusBar1);
    MainStatusPanel = new StatusLabel;
    SecondStatusPanel = new StatusLabel(QStringLiteral("0 item listed"));
    MainGauge = new QProgressBar;
    MainGauge->setRange(0, 100);
    MainGauge->setValue(0);
    MainGauge->setTextVisible(true);
    MainGauge->setFormat(QStringLiteral("%p%"));
    MainGauge->setMaximumWidth(150);
    PageNoticePanel = new StatusLabel;
    PageNoticePanel->hide();
    HistoryNoticePanel = new StatusLabel;
    HistoryNoticePanel->hide();
    auto* statusColumn = new QWidget;
    auto* statusLines = new QVBoxLayout(statusColumn);
    statusLines->setContentsMargins(0, 0, 0, 0);
    statusLines->setSpacing(0);
    statusLines->addWidget(MainStatusPanel);
    statusLines->addWidget(PageNoticePanel);
    statusLines->addWidget(HistoryNoticePanel);
    bsSkinStatusBar1->addWidget(statusColumn, 1);
    bsSkinStatusBar1->addWidget(SecondStatusPanel);
    bsSkinStatusBar1->addWidget(MainGauge);
}

}  // namespace app

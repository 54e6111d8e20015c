#include "app/f_main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QMovie>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTableView>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <cstdio>
#include <exception>
#include <filesystem>

#include "app/f_about.h"
#include "app/f_news.h"
#include "app/html_view.h"
#include "app/link_label.h"
#include "app/message_hint.h"
#include "app/program_text.h"
#include "app/result_list_model.h"
#include "app/skin.h"
#include "app/window_publisher_host.h"
#include "app/window_search_host.h"
#include "app/window_texts.h"
#include "app/zorvane_application.h"
#include "branding/banner_source.h"
#include "branding/settings_text.h"
#include "publisher/news_client.h"
#include "publisher/news_notification.h"
#include "publisher/publisher_texts.h"
#include "publisher/update_check.h"
#include "search/csv_export.h"
#include "search/search_run.h"
#include "util/line_file.h"
#include "util/open_in_browser.h"
#include "util/scope_guard.h"
#include "util/settings_file.h"
#include "util/start_program.h"

namespace app {

namespace {

// The banner panel is this much higher than the picture it shows.
constexpr int kBannerPanelMargin = 10;

// A site list is a handful of engines. A file with more lines than this is
// not a site list, and filling a combo box with millions of items would
// freeze the window, so only the first ones are taken.
constexpr std::size_t kMaxSiteItems = 1000;

// While the publisher services' client serves a request, News and Update
// are disabled, so neither starts a second request on the busy client.
auto DisableWhilePublisherBusy(QWidget* news, QWidget* update) {
    news->setEnabled(false);
    update->setEnabled(false);
    return util::ScopeGuard([news, update] {
        news->setEnabled(true);
        update->setEnabled(true);
    });
}

}  // namespace

TfrmMain::TfrmMain(std::string programFolder, std::unique_ptr<MessageDialog> messageDialog,
                   std::unique_ptr<SaveDialog> saveDialog,
                   std::unique_ptr<branding::RandomSource> random, QWidget* parent)
    : QMainWindow(parent),
      programFolder_(std::move(programFolder)),
      msgMain_(messageDialog ? std::move(messageDialog) : std::make_unique<QtMessageDialog>(this)),
      saveDialog_(saveDialog ? std::move(saveDialog)
                             : std::make_unique<QtSaveDialog>(this, programFolder_)),
      random_(random ? std::move(random) : std::make_unique<branding::SystemRandom>()),
      resultModel_(new ResultListModel(this)),
      searchHost_(std::make_unique<WindowSearchHost>(*this)),
      publisherHost_(std::make_unique<WindowPublisherHost>(*this)) {
    LiveUpdateBaseURL = LiveUpdateBase();
    setWindowTitle(QStringLiteral("Zorvane"));
    // The built-in look and icon, until a brand's own replace them.
    ApplyBuiltInSkin();
    // While a client waits for the network the window keeps working.
    IdHTTP1.onIdle = [] { QApplication::processEvents(); };
    search::AttachHarvesterClient(IdHTTP2, *searchHost_);
    createControls();
    resize(kClientWidth, kClientHeight);
    FormCreate();
}

TfrmMain::~TfrmMain() = default;

std::string TfrmMain::siteText() const {
    const int index = cbxSites->currentIndex();
    return index < 0 ? std::string() : cbxSites->itemData(index).toByteArray().toStdString();
}

void TfrmMain::FormCreate() {
    loadSites();
    gifBanner->setGeometry(imgBanner->geometry());
    LoadBrandingSettings();
    if (BrandingSettings.WelcomePage.empty()) {
        Timer1->start();
    }
}

void TfrmMain::LoadBrandingSettings() {
    removeLeftoverPlainCopy();
    const std::string settingsPath = programFolder_ + "dbsettings.dat";
    if (std::error_code error; !std::filesystem::exists(settingsPath, error)) {
        return;
    }
    // A settings file that cannot be read brands nothing, like one that does
    // not decrypt; the window still opens, and the brander learns why.
    branding::SettingsText text;
    try {
        text = branding::ReadSettingsFile(settingsPath);
    } catch (const util::SettingsFileError& e) {
        std::fprintf(stderr, "zorvane: %s\n", e.what());
    }
    BrandingSettings = branding::PickBranding(text, *random_);
    setWindowTitle(Decode(branding::WindowCaption(BrandingSettings)));
    btnNews->setVisible(branding::NewsButtonVisible(BrandingSettings));
    btnMakeMoney->setText(Decode(branding::MakeMoneyCaption(text)));
    if (!BrandingSettings.BannerURL.empty()) {
        imgBanner->setCursor(Qt::PointingHandCursor);
        gifBanner->setCursor(Qt::PointingHandCursor);
    }
    showBanner();
    showLinks();
    ApplySkinFile(programFolder_ + "mainskin.dat");
    ApplyIconFile(programFolder_ + "main.ico");
}

// Older copies kept the decrypted settings in dbsettings.sim while reading
// them. Such a copy holds the brand in plain text and is never read here.
void TfrmMain::removeLeftoverPlainCopy() {
    std::error_code ignored;
    std::filesystem::remove(programFolder_ + "dbsettings.sim", ignored);
}

void TfrmMain::showBanner() {
    const auto source = branding::FindBannerSource(programFolder_, BrandingSettings);
    if (!source) {
        panBanner->hide();
        return;
    }
    const QString path = QString::fromLocal8Bit(source->path.c_str());
    const QByteArray format = QByteArray::fromStdString(source->format);
    QSize pictureSize;
    if (source->animated) {
        bannerMovie_ = new QMovie(path, format, this);
        if (bannerMovie_->isValid() && bannerMovie_->jumpToFrame(0)) {
            pictureSize = bannerMovie_->currentImage().size();
        }
    } else {
        QImageReader reader(path, format);
        const QImage picture = reader.read();
        if (!picture.isNull()) {
            imgBanner->setPixmap(QPixmap::fromImage(picture));
            pictureSize = picture.size();
        }
    }
    // A picture that does not decode shows nothing, so the panel goes.
    if (pictureSize.isEmpty()) {
        delete bannerMovie_;
        bannerMovie_ = nullptr;
        panBanner->hide();
        return;
    }
    QLabel* shown = source->animated ? gifBanner : imgBanner;
    QLabel* hidden = source->animated ? imgBanner : gifBanner;
    hidden->hide();
    if (bannerMovie_ != nullptr) {
        gifBanner->setMovie(bannerMovie_);
        bannerMovie_->start();
    }
    shown->resize(pictureSize);
    shown->show();
    panBanner->setFixedHeight(pictureSize.height() + kBannerPanelMargin);
}

void TfrmMain::showLinks() {
    panLinks->setVisible(!BrandingSettings.Link1Caption.empty());
    lblLink1URL->setText(Decode(BrandingSettings.Link1Caption));
    lblLink1URL->setUrl(BrandingSettings.Link1URL);
    lblLink2URL->setText(Decode(BrandingSettings.Link2Caption));
    lblLink2URL->setUrl(BrandingSettings.Link2URL);
}

void TfrmMain::loadSites() {
    const std::string path = programFolder_ + "sites.txt";
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
        return;
    }
    // The window must open even when the list is unreadable: the failure is
    // shown and the site box stays empty.
    std::vector<std::string> lines;
    try {
        lines = util::ReadLineFile(path);
    } catch (const std::exception& e) {
        msgMain_->show(MessageDialog::Kind::Warning, e.what(), MessageDialog::Buttons::Ok);
        return;
    }
    if (lines.size() > kMaxSiteItems) {
        lines.resize(kMaxSiteItems);
    }
    // Each item keeps the line's bytes, which the engine passes use as they
    // are; the decoded text is only for display.
    for (const auto& line : lines) {
        cbxSites->addItem(Decode(line), QByteArray::fromStdString(line));
    }
    if (cbxSites->count() > 0) {
        cbxSites->setCurrentIndex(0);
    }
}

void TfrmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (shown_) {
        return;
    }
    shown_ = true;
    CentreOnScreen(*this);
    FormShow();
}

void TfrmMain::FormShow() {
    // Every page is shown once so that it lays itself out before it is needed.
    for (int page = 0; page < pgcPrinc->count(); ++page) {
        pgcPrinc->setCurrentIndex(page);
        QApplication::processEvents();
    }
    pgcPrinc->setCurrentIndex(0);
    if (!BrandingSettings.WelcomePage.empty()) {
        prfWelcome->setHtml(Decode(BrandingSettings.WelcomePage));
    } else {
        // Without a welcome page the main page is the only one.
        pgcPrinc->removeWidget(stsWelcome);
        delete stsWelcome;
        stsWelcome = nullptr;
        prfWelcome = nullptr;
        bsSkinButton1 = nullptr;
    }
    pgcPrinc->setCurrentIndex(0);
    FormResize();
}

void TfrmMain::bsSkinButton1Click() {
    pgcPrinc->setCurrentIndex(1);
    if (!BrandingSettings.WelcomePage.empty()) {
        Timer1->start();
    }
}

// The welcome page's button stays the window's default button: Enter in any
// control that leaves the key to its window presses it, also from the main
// page, where it arms the news check once more.
void TfrmMain::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && bsSkinButton1 != nullptr && event->modifiers() == Qt::NoModifier) {
        bsSkinButton1->click();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void TfrmMain::Timer1Timer() {
    // One check per arming.
    Timer1->stop();
    // The client serves one request at a time: a check that falls due
    // inside another request (the user's News or Update) comes a little later.
    if (IdHTTP1.busy()) {
        Timer1->start();
        return;
    }
    const auto busy = DisableWhilePublisherBusy(btnNews, btnUpdate);
    const publisher::NewsBrand brand = newsBrand();
    publisher::NewsClient news(IdHTTP1, *publisherHost_, brand);
    if (const auto hint = publisher::CheckLastNews(news, brand, settingsPath())) {
        ShowMessageHint(*hint);
    }
    // Closing the window during the news request ends the check with it.
    if (!isVisible()) {
        return;
    }
    publisher::CheckForUpdate(IdHTTP1, *publisherHost_, LiveUpdateBaseURL, true);
}

void TfrmMain::ShowMessageHint(const std::string& text) {
    const QPoint centre(btnNews->width() / 2, btnNews->height() / 2);
    // The title comes from the news server, in its code page.
    MessageHint::showAt(DecodeWindows1252(text), btnNews->mapToGlobal(centre));
}

publisher::NewsBrand TfrmMain::newsBrand() const {
    const branding::BrandingSettings& s = BrandingSettings;
    return {.BranderType = s.BranderType,
            .BranderCode = s.BranderCode,
            .MasterPublID = s.MasterPublID,
            .PlatinumPublID = s.PlatinumPublID,
            .GoldPublID = s.GoldPublID,
            .MasterNewsBaseURL = s.MasterNewsBaseURL,
            .PlatinumNewsBaseURL = s.PlatinumNewsBaseURL,
            .GoldNewsBaseURL = s.GoldNewsBaseURL};
}

void TfrmMain::btnNewsClick() {
    const auto busy = DisableWhilePublisherBusy(btnNews, btnUpdate);
    NewsList.clear();
    const publisher::NewsBrand brand = newsBrand();
    publisher::NewsClient news(IdHTTP1, *publisherHost_, brand);
    bool fetched = false;
    if (const auto tier = publisher::ActiveNewsTier(brand)) {
        fetched = news.FetchNewsList(tier->publisherId, brand.BranderCode, tier->productType,
                                     std::string(publisher::kNewsTarget), NewsList);
    }
    if (!fetched || NewsList.empty()) {
        msgMain_->show(MessageDialog::Kind::Information, std::string(publisher::texts::kNoNews),
                       MessageDialog::Buttons::Ok);
        return;
    }
    TfrmNews frmNews(NewsList, news, brand, settingsPath(), this);
    frmNews.exec();
}

void TfrmMain::btnUpdateClick() {
    const auto busy = DisableWhilePublisherBusy(btnNews, btnUpdate);
    publisher::CheckForUpdate(IdHTTP1, *publisherHost_, LiveUpdateBaseURL, false);
}

void TfrmMain::startUpdater(const std::string& program, const std::vector<std::string>& args) {
    util::StartProgram(program, args);
    close();
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
    // The banner panel follows the window's width through the layout, so its
    // own resize is the moment the window's size has reached it.
    if (watched == panBanner && event->type() == QEvent::Resize) {
        FormResize();
    }
    if ((watched == imgBanner || watched == gifBanner) &&
        event->type() == QEvent::MouseButtonRelease) {
        const auto* release = static_cast<QMouseEvent*>(event);
        const auto* banner = static_cast<QWidget*>(watched);
        if (release->button() == Qt::LeftButton &&
            banner->rect().contains(release->position().toPoint())) {
            handler(watched == imgBanner ? &TfrmMain::imgBannerClick : &TfrmMain::gifBannerClick)();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TfrmMain::FormResize() {
    for (QLabel* banner : {imgBanner, gifBanner}) {
        banner->move(centredOffset(panBanner->width(), banner->width()),
                     centredOffset(panBanner->height(), banner->height()));
    }
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    FormClose();
    QMainWindow::closeEvent(event);
}

void TfrmMain::FormClose() {
    IdHTTP1.Disconnect();
    IdHTTP2.Disconnect();
    StopRequested = true;
    // A search waiting in a download sees the flag on its next look.
    QApplication::processEvents();
}

void TfrmMain::btnSearchClick() {
    // Search pressed again inside a running search (the window keeps working
    // during downloads): the one harvester client serves one run at a time.
    if (searching_) {
        return;
    }
    searching_ = true;
    util::ScopeGuard running([this] { searching_ = false; });
    const WindowSearchHost::Run batched(*searchHost_);
    search::SearchContext context{*searchHost_, IdHTTP2, EngineSettings};
    search::SearchRun(context);
}

void TfrmMain::btnStopClick() {
    search::StopSearch(*searchHost_, IdHTTP2);
}

void TfrmMain::btnExportAllClick() {
    const auto path = saveDialog_->ask(texts::kExportTitle, texts::kExportFilter);
    if (!path) {
        return;
    }
    // The rows stay whatever happens; the user learns that the file was not
    // written and where.
    try {
        search::ExportResults(*path, resultModel_->rows());
    } catch (const std::exception& e) {
        msgMain_->show(MessageDialog::Kind::Warning, e.what(), MessageDialog::Buttons::Ok);
    }
}

void TfrmMain::btnSelectAllClick() {
    lvwResults->selectAll();
}

void TfrmMain::btnClearSellClick() {
    lvwResults->clearSelection();
}

void TfrmMain::btnDelSelClick() {
    if (resultModel_->rowCount() == 0) {
        msgMain_->show(MessageDialog::Kind::Warning, texts::kNoItemsToDelete,
                       MessageDialog::Buttons::OkCancel);
        return;
    }
    if (!msgMain_->show(MessageDialog::Kind::Warning, texts::kConfirmDeleteSelected,
                        MessageDialog::Buttons::OkCancel)) {
        return;
    }
    // The selection is read after the answer: rows may have come or gone
    // while the box was open during a search.
    std::vector<int> selected;
    for (const QModelIndex& index : lvwResults->selectionModel()->selectedIndexes()) {
        selected.push_back(index.row());
    }
    resultModel_->removeRowsAt(std::move(selected));
    setListedCount();
}

void TfrmMain::btnDelAllClick() {
    if (resultModel_->rowCount() == 0) {
        msgMain_->show(MessageDialog::Kind::Warning, texts::kNoItemsToDelete,
                       MessageDialog::Buttons::OkCancel);
        return;
    }
    if (!msgMain_->show(MessageDialog::Kind::Warning, texts::kConfirmDeleteAll,
                        MessageDialog::Buttons::OkCancel)) {
        return;
    }
    resultModel_->clear();
    setListedCount();
}

void TfrmMain::setListedCount() {
    SecondStatusPanel->setText(QString::number(resultModel_->rowCount()) +
                               QStringLiteral(" items listed"));
}

void TfrmMain::imgBannerClick() {
    if (!BrandingSettings.BannerURL.empty()) {
        util::OpenInBrowser(BrandingSettings.BannerURL);
    }
}

void TfrmMain::gifBannerClick() {
    imgBannerClick();
}

void TfrmMain::btnMakeMoneyClick() {
    util::OpenInBrowser(BrandingSettings.AffiliateURL);
}

void TfrmMain::btnHelpClick() {
    util::OpenInBrowser(BrandingSettings.AppHelpURL);
}

void TfrmMain::btnAboutClick() {
    TfrmAbout frmAbout(BrandingSettings, this);
    frmAbout.exec();
}

// A link is a document for the desktop's own handler of its kind, as a click
// on a link anywhere else on the desktop; it is not tied to the web browser.
void TfrmMain::lblLink1URLClick() {
    util::StartProgram("xdg-open", {lblLink1URL->url()});
}

void TfrmMain::lblLink2URLClick() {
    util::StartProgram("xdg-open", {lblLink2URL->url()});
}

}  // namespace app

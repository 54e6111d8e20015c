// The main window: start-up with the brand, the welcome page, the remembered
// settings, keys, resizing and closing. The search and its grid are in
// f_main_results.cpp, the news and update buttons in f_main_publisher.cpp.
#include "app/f_main.h"

#include <QAction>
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
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTableView>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>

#include "app/f_about.h"
#include "app/history_window.h"
#include "app/html_view.h"
#include "app/link_label.h"
#include "app/program_text.h"
#include "app/result_list_model.h"
#include "app/result_sort_model.h"
#include "app/skin.h"
#include "app/user_settings.h"
#include "app/window_publisher_host.h"
#include "app/window_search_host.h"
#include "app/window_texts.h"
#include "app/zorvane_application.h"
#include "branding/banner_source.h"
#include "branding/settings_text.h"
#include "publisher/update_check.h"
#include "search/search_run.h"
#include "search/site_list.h"
#include "search/site_selection.h"
#include "util/config_folder.h"
#include "util/open_in_browser.h"
#include "util/scope_guard.h"
#include "util/settings_file.h"
#include "util/start_program.h"

namespace app {

namespace {

// The banner panel is this much higher than the picture it shows.
constexpr int kBannerPanelMargin = 10;

}  // namespace

TfrmMain::TfrmMain(std::string programFolder, std::unique_ptr<MessageDialog> messageDialog,
                   std::unique_ptr<SaveDialog> saveDialog,
                   std::unique_ptr<branding::RandomSource> random, QWidget* parent)
    : QMainWindow(parent),
      programFolder_(std::move(programFolder)),
      msgMain_(messageDialog ? std::move(messageDialog) : std::make_unique<QtMessageDialog>(this)),
      saveDialog_(saveDialog ? std::move(saveDialog) : std::make_unique<QtSaveDialog>(this)),
      random_(random ? std::move(random) : std::make_unique<branding::SystemRandom>()),
      resultModel_(new ResultListModel(this)),
      sortModel_(new ResultSortModel(*resultModel_, this)),
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
    restoreSettings();
}

TfrmMain::~TfrmMain() = default;

int TfrmMain::listedSiteIndex() const {
    const QString text = cbxSites->currentText();
    const int index = cbxSites->currentIndex();
    if (index >= 0 && cbxSites->itemText(index) == text) {
        return index;
    }
    return cbxSites->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
}

std::string TfrmMain::siteText() const {
    // A listed line keeps its bytes as read; a typed one is in the system's
    // encoding, as the list shows its lines.
    const int index = listedSiteIndex();
    return index < 0 ? cbxSites->currentText().toLocal8Bit().toStdString()
                     : cbxSites->itemData(index).toByteArray().toStdString();
}

bool TfrmMain::siteTextTyped() const {
    return listedSiteIndex() < 0;
}

std::string TfrmMain::userSitesPath() {
    const std::string folder = util::UserConfigFolder();
    return folder.empty() ? folder : folder + "sites.txt";
}

void TfrmMain::FormCreate() {
    loadProfiles();
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
        showPlainCopy();
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

// Without a brand there is no banner, no link and no address for Make Money
// or Help: the designed placeholders would be an empty band, links to a
// search engine and buttons that start the browser on nothing.
void TfrmMain::showPlainCopy() {
    plainCopy_ = true;
    panBanner->hide();
    panLinks->hide();
    btnMakeMoney->setVisible(!BrandingSettings.AffiliateURL.empty());
    btnHelp->setVisible(!BrandingSettings.AppHelpURL.empty());
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

void TfrmMain::loadProfiles() {
    profiles_ = search::LoadProfileCatalog(programFolder_, search::UserProfilesPath());
    // A profile file with a fault is skipped whole; the window starts with
    // the others and says which file and where.
    if (!profiles_.errors.empty()) {
        MainStatusPanel->setText(Decode(texts::ProfileFilesSkipped(profiles_.errors)));
    }
}

void TfrmMain::loadSites() {
    const std::string path = programFolder_ + "sites.txt";
    const search::SiteList list = search::ReadSiteList(path, userSitesPath());
    // The window must open even when a list is unreadable: the failure is
    // shown and the box offers the other list's lines.
    for (const std::string& error : list.errors) {
        msgMain_->show(MessageDialog::Kind::Warning, error, MessageDialog::Buttons::Ok);
    }
    for (const auto& line : list.lines) {
        addSiteItem(line);
    }
    if (cbxSites->count() > 0) {
        cbxSites->setCurrentIndex(0);
    } else if (list.programFileMissing) {
        MainStatusPanel->setText(Decode(texts::NoSitesFile(path)));
    } else if (list.errors.empty()) {
        MainStatusPanel->setText(Decode(texts::EmptySitesFile(path)));
    }
}

// Each item keeps the line's bytes, which the engine passes use as they are;
// the decoded text is only for display. The tooltip says what the line runs:
// which built-in passes and engine profiles, or that it runs nothing.
void TfrmMain::addSiteItem(const std::string& line) {
    cbxSites->addItem(Decode(line), QByteArray::fromStdString(line));
    cbxSites->setItemData(
        cbxSites->count() - 1,
        Decode(search::DescribeSelection(search::SelectForSiteLine(line, profiles_.profiles))),
        Qt::ToolTipRole);
}

void TfrmMain::rememberSiteLine(const std::string& line) {
    // Offered and chosen from now on, and read again at the next start.
    addSiteItem(line);
    cbxSites->setCurrentIndex(cbxSites->count() - 1);
    const std::string path = userSitesPath();
    // The search goes on either way; the user learns that the line will be
    // gone at the next start, and why.
    if (path.empty()) {
        msgMain_->show(MessageDialog::Kind::Warning, texts::kNoConfigFolder,
                       MessageDialog::Buttons::Ok);
        return;
    }
    try {
        search::RememberSiteLine(path, line);
    } catch (const std::exception& e) {
        msgMain_->show(MessageDialog::Kind::Warning, e.what(), MessageDialog::Buttons::Ok);
    }
}

void TfrmMain::restoreSettings() {
    const RememberedSettings remembered = ReadUserSettings();
    if (remembered.keyword) {
        edtKeyword->setText(*remembered.keyword);
    }
    if (remembered.maxItems) {
        speMaxNum->setValue(*remembered.maxItems);
    }
    if (remembered.site) {
        // A line that has left sites.txt leaves the first one chosen.
        if (const int index = cbxSites->findText(*remembered.site, Qt::MatchExactly); index >= 0) {
            cbxSites->setCurrentIndex(index);
        }
    }
    geometryRestored_ = !remembered.geometry.isEmpty() && restoreGeometry(remembered.geometry);
    if (remembered.columnWidths.size() == baseColumnWidths_.size()) {
        std::copy(remembered.columnWidths.begin(), remembered.columnWidths.end(),
                  baseColumnWidths_.begin());
        fitColumns();
    }
    exportFolder_ = remembered.exportFolder;
    locale_ = {.lang = remembered.language.toStdString(),
               .region = remembered.region.toStdString()};
    closeWithoutAsking_ = remembered.closeWithoutAsking;
    // Read, not a choice just made: nothing to write back.
    const QSignalBlocker quiet(actKeepHistory);
    actKeepHistory->setChecked(remembered.keepHistory);
}

void TfrmMain::saveSettings() {
    QStringList widths;
    for (const int width : baseColumnWidths_) {
        widths << QString::number(width);
    }
    namespace keys = settings_keys;
    WriteUserSettings({{keys::kKeyword, edtKeyword->text()},
                       {keys::kMaxItems, speMaxNum->value()},
                       {keys::kGeometry, saveGeometry()},
                       {keys::kColumnWidths, widths}});
    // The listed line the box shows; for a text typed over it and never
    // used, the line last chosen.
    if (const int listed = listedSiteIndex(); listed >= 0 || cbxSites->currentIndex() >= 0) {
        WriteUserSettings(
            {{keys::kSite, cbxSites->itemText(listed >= 0 ? listed : cbxSites->currentIndex())}});
    }
}

void TfrmMain::fitColumns() {
    int designed = 0;
    for (const int width : baseColumnWidths_) {
        designed += width;
    }
    const int room = std::max(0, lvwResults->viewport()->width() - designed);
    columnShares_ = {};
    columnShares_[ResultListModel::ColAnchor] = room - room / 2;
    columnShares_[ResultListModel::ColUrl] = room / 2;
    fittingColumns_ = true;
    const util::ScopeGuard fitted([this] { fittingColumns_ = false; });
    for (int column = 0; column < ResultListModel::ColumnCount; ++column) {
        lvwResults->setColumnWidth(column, baseColumnWidths_[column] + columnShares_[column]);
    }
}

void TfrmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (shown_) {
        return;
    }
    shown_ = true;
    // A place the user gave the window last time stays.
    if (!geometryRestored_) {
        CentreOnScreen(*this);
    }
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
    if (pgcPrinc->currentWidget() == stsMain) {
        edtKeyword->setFocus();
    }
}

void TfrmMain::bsSkinButton1Click() {
    pgcPrinc->setCurrentIndex(1);
    edtKeyword->setFocus();
    if (!BrandingSettings.WelcomePage.empty()) {
        Timer1->start();
    }
}

namespace {

bool IsEnter(const QKeyEvent& key) {
    return (key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter) &&
           (key.modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

}  // namespace

// The welcome page's button stays the window's default button: Enter in any
// control that leaves the key to its window presses it, also from the main
// page, where it arms the news check once more. The keyword box, the item
// count, the site box and the grid take Enter themselves. Escape anywhere
// stops a search: it presses Stop, so that both leave the status and the
// gauge alike.
void TfrmMain::keyPressEvent(QKeyEvent* event) {
    if (IsEnter(*event) && event->modifiers() == Qt::NoModifier && bsSkinButton1 != nullptr) {
        bsSkinButton1->click();
        return;
    }
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && searching_) {
        btnStop->click();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

bool TfrmMain::handleSearchBarKey(QObject* watched, const QKeyEvent& key) {
    if (!IsEnter(key)) {
        return false;
    }
    // The count as typed so far, not as it stood before the key.
    if (watched == speMaxNum) {
        speMaxNum->interpretText();
    }
    handler (&TfrmMain::btnSearchClick)();
    return true;
}

bool TfrmMain::handleResultsKey(const QKeyEvent& key) {
    if (key.matches(QKeySequence::Copy)) {
        handler (&TfrmMain::copySelectedRows)();
        return true;
    }
    if (key.key() == Qt::Key_Delete && key.modifiers() == Qt::NoModifier) {
        handler (&TfrmMain::btnDelSelClick)();
        return true;
    }
    if (IsEnter(key)) {
        const int row = sortModel_->sourceRow(lvwResults->currentIndex().row());
        handler([this, row] { openRowUrl(row); })();
        return true;
    }
    return false;
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto& key = *static_cast<QKeyEvent*>(event);
        if ((watched == edtKeyword || watched == speMaxNum || watched == cbxSites->lineEdit()) &&
            handleSearchBarKey(watched, key)) {
            return true;
        }
        if (watched == lvwResults && handleResultsKey(key)) {
            return true;
        }
    }
    if (watched == resultsViewport_ && event->type() == QEvent::Resize) {
        fitColumns();
    }
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
    // The question counts the rows a running search has harvested so far.
    searchHost_->publish();
    if (!discardConfirmed_ && !mayDiscardRows()) {
        event->ignore();
        return;
    }
    saveSettings();
    FormClose();
    QMainWindow::closeEvent(event);
}

bool TfrmMain::mayDiscardRows() {
    const std::size_t rows = resultModel_->rows().size();
    if (rows == 0 || rowsExported_ || closeWithoutAsking_) {
        return true;
    }
    bool dontAskAgain = false;
    if (!msgMain_->showWithCheckBox(MessageDialog::Kind::Question, texts::CloseAndDiscard(rows),
                                    MessageDialog::Buttons::YesNo, texts::kDontAskAgain,
                                    dontAskAgain)) {
        return false;
    }
    // Only a Yes is remembered: "never ask, never close" would be no answer.
    if (dontAskAgain) {
        closeWithoutAsking_ = true;
        WriteUserSettings({{settings_keys::kCloseWithoutAsking, true}});
    }
    return true;
}

void TfrmMain::FormClose() {
    if (frmHistory_ != nullptr) {
        frmHistory_->close();
    }
    IdHTTP1.Disconnect();
    IdHTTP2.Disconnect();
    StopRequested = true;
    // A search waiting in a download sees the flag on its next look.
    QApplication::processEvents();
}

void TfrmMain::imgBannerClick() {
    if (!BrandingSettings.BannerURL.empty()) {
        openInBrowser(BrandingSettings.BannerURL);
    }
}

void TfrmMain::gifBannerClick() {
    imgBannerClick();
}

void TfrmMain::btnMakeMoneyClick() {
    openInBrowser(BrandingSettings.AffiliateURL);
}

void TfrmMain::btnHelpClick() {
    openInBrowser(BrandingSettings.AppHelpURL);
}

void TfrmMain::btnAboutClick() {
    if (plainCopy_) {
        TfrmAbout frmAbout(this);
        frmAbout.exec();
        return;
    }
    TfrmAbout frmAbout(BrandingSettings, this);
    frmAbout.exec();
}

// The brand's links go to the web browser like every other address the
// program opens, so that a link a brand file plants cannot hand the desktop's
// opener a switch or a local file.
void TfrmMain::lblLink1URLClick() {
    openInBrowser(lblLink1URL->url());
}

void TfrmMain::lblLink2URLClick() {
    openInBrowser(lblLink2URL->url());
}

void TfrmMain::openPageLink(const QString& url) {
    if (url.isEmpty()) {
        MainStatusPanel->setText(Decode(texts::kNotAWebUrl));
        return;
    }
    openInBrowser(url.toStdString());
}

}  // namespace app

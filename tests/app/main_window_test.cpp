#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <chrono>
#include <climits>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>

#include "app/link_label.h"
#include "app/result_list_model.h"
#include "app/site_box.h"
#include "app/zorvane_application.h"
#include "tests/support/wait_until.h"
#include "util/line_file.h"
#include "window_fixture.h"

namespace {

using app::TfrmMain;

QStringList LabelTexts(QWidget* parent) {
    QStringList texts;
    for (const QLabel* label : parent->findChildren<QLabel*>()) {
        texts << label->text();
    }
    return texts;
}

TEST_F(WindowTest, ControlsAsDesigned) {
    TfrmMain& w = makeWindow();
    EXPECT_EQ(w.windowTitle(), "Zorvane");
    EXPECT_EQ(w.size(), QSize(843, 542));

    ASSERT_EQ(w.pgcPrinc->count(), 2);
    EXPECT_EQ(w.pgcPrinc->widget(0), w.stsWelcome);
    EXPECT_EQ(w.pgcPrinc->widget(1), w.stsMain);
    EXPECT_TRUE(w.prfWelcome->isReadOnly());
    EXPECT_EQ(w.bsSkinButton1->text(), "Thanks, just show me the main application");

    EXPECT_EQ(w.btnMakeMoney->text(), "Make Money");
    EXPECT_EQ(w.btnAbout->text(), "About");
    EXPECT_EQ(w.btnNews->toolTip(), "Check News");
    EXPECT_EQ(w.btnUpdate->toolTip(), "Check Updates");
    EXPECT_EQ(w.btnHelp->toolTip(), "Help");
    EXPECT_EQ(w.btnMakeMoney->parentWidget()->height(), 43);
    EXPECT_EQ(w.panBanner->height(), 65);
    EXPECT_EQ(w.panLinks->height(), 36);
    EXPECT_FALSE(w.gifBanner->isVisibleTo(w.panBanner));
    EXPECT_EQ(w.gifBanner->geometry(), w.imgBanner->geometry());

    const QStringList searchLabels = LabelTexts(w.btnSearch->parentWidget());
    EXPECT_EQ(searchLabels, (QStringList{"Search:", "Num items (0=All):", "in"}));
    EXPECT_EQ(w.speMaxNum->minimum(), 0);
    EXPECT_EQ(w.speMaxNum->maximum(), INT_MAX);
    EXPECT_EQ(w.speMaxNum->singleStep(), 1);
    EXPECT_EQ(w.speMaxNum->value(), 0);
    // The user may type a site line of their own.
    EXPECT_TRUE(w.cbxSites->isEditable());
    EXPECT_EQ(w.btnSearch->text(), "Search");
    EXPECT_EQ(w.btnStop->text(), "Stop");
    EXPECT_EQ(w.btnExportAll->text(), "Export All");

    const std::pair<QString, int> columns[] = {
        {"Pos", 80}, {"Anchor", 300}, {"URL", 200}, {"Engine Site", 150}};
    ASSERT_EQ(w.lvwResults->model()->columnCount(), 4);
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(w.lvwResults->model()->headerData(c, Qt::Horizontal), columns[c].first);
        EXPECT_EQ(w.lvwResults->columnWidth(c), columns[c].second);
    }
    EXPECT_TRUE(w.lvwResults->showGrid());
    EXPECT_EQ(w.lvwResults->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(w.lvwResults->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(w.lvwResults->editTriggers(), QAbstractItemView::NoEditTriggers);
    // Sorted by a header click only: the grid opens in harvest order.
    EXPECT_TRUE(w.lvwResults->isSortingEnabled());
    EXPECT_EQ(w.lvwResults->horizontalHeader()->sortIndicatorSection(), -1);
    EXPECT_EQ(w.results().rowCount(), 0);

    EXPECT_EQ(w.btnSelectAll->text(), "Select All");
    EXPECT_EQ(w.btnClearSell->text(), "Clear Selection");
    EXPECT_EQ(w.btnDelSel->text(), "Delete Selected");
    EXPECT_EQ(w.btnDelAll->text(), "Delete All");

    for (const app::LinkLabel* link : {w.lblLink1URL, w.lblLink2URL}) {
        EXPECT_EQ(link->text(), "Google");
        EXPECT_EQ(link->url(), "http://www.google.com");
        EXPECT_TRUE(link->font().underline());
    }

    EXPECT_EQ(w.statusBar(), w.bsSkinStatusBar1);
    EXPECT_EQ(w.MainStatusPanel->text().toStdString(),
              "No engine sites: " + (folder_ / "sites.txt").string() + " is missing.");
    EXPECT_EQ(w.SecondStatusPanel->text(), "0 item listed");
    EXPECT_EQ(w.MainGauge->minimum(), 0);
    EXPECT_EQ(w.MainGauge->maximum(), 100);
    EXPECT_EQ(w.MainGauge->value(), 0);
    EXPECT_TRUE(w.MainGauge->isTextVisible());
    w.MainGauge->setValue(42);
    EXPECT_EQ(w.MainGauge->text(), "42%");

    // Without a welcome page the news check is armed at start.
    EXPECT_TRUE(w.Timer1->isActive());
    EXPECT_TRUE(w.Timer1->isSingleShot());
    EXPECT_EQ(w.Timer1->interval(), 2000);
    EXPECT_FALSE(w.StopRequested);
    EXPECT_TRUE(msg_->shown().empty());
}

TEST_F(WindowTest, FirstShowLeavesTheMainPageAlone) {
    TfrmMain& w = makeWindow();
    w.show();
    EXPECT_EQ(w.focusWidget(), w.edtKeyword) << "typing starts in the keyword box";
    ASSERT_EQ(w.pgcPrinc->count(), 1);
    EXPECT_EQ(w.pgcPrinc->currentWidget(), w.stsMain);
    EXPECT_EQ(w.stsWelcome, nullptr);
    EXPECT_EQ(w.bsSkinButton1, nullptr);
    // A second show (after a minimise, say) changes nothing.
    w.hide();
    w.show();
    EXPECT_EQ(w.pgcPrinc->currentWidget(), w.stsMain);
}

TEST_F(WindowTest, SitesFile) {
    const struct {
        const char* name;
        std::optional<std::string> file;  // nullopt: no sites.txt at all
        QStringList items;
        std::string siteText;
        std::string status = "";  // after the full path of sites.txt
    } cases[] = {
        {.name = "missing",
         .file = std::nullopt,
         .items = {},
         .siteText = "",
         .status = " is missing."},
        {.name = "empty", .file = "", .items = {}, .siteText = "", .status = " is empty."},
        {.name = "three lines, mixed line ends",
         .file = "http://www.google.com\r\nhttp://search.yahoo.com\nhttp://search.live.com\r",
         .items = {"http://www.google.com", "http://search.yahoo.com", "http://search.live.com"},
         .siteText = "http://www.google.com"},
        {.name = "last line without line end, empty line kept",
         .file = "\r\nhttp://a\n\ngoogle backlinks",
         .items = {"", "http://a", "", "google backlinks"},
         .siteText = ""},
        {.name = "8-bit line kept as bytes",
         .file = "http://s\xE9\x61rch\r\n",
         .items = {QString::fromLocal8Bit("http://s\xE9\x61rch")},
         .siteText = "http://s\xE9\x61rch"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(folder_ / "sites.txt");
        if (c.file) {
            writeFile("sites.txt", *c.file);
        }
        TfrmMain& w = makeWindow();
        QStringList items;
        for (int i = 0; i < w.cbxSites->count(); ++i) {
            items << w.cbxSites->itemText(i);
        }
        EXPECT_EQ(items, c.items);
        EXPECT_EQ(w.cbxSites->currentIndex(), c.items.isEmpty() ? -1 : 0);
        EXPECT_EQ(w.siteText(), c.siteText);
        EXPECT_EQ(w.MainStatusPanel->text().toStdString(),
                  c.status.empty()
                      ? ""
                      : "No engine sites: " + (folder_ / "sites.txt").string() + c.status);
        EXPECT_TRUE(msg_->shown().empty());
    }
}

// The user's own sites.txt, in the configuration folder, adds its lines after
// the program's; one it repeats is listed once. Without the program's file
// the user's lines are still offered.
TEST_F(WindowTest, TheUsersSiteLinesFollowTheProgramsOnce) {
    const std::string missing =
        "No engine sites: " + (folder_ / "sites.txt").string() + " is missing.";
    const struct {
        const char* name;
        std::optional<std::string> program = std::nullopt;
        std::optional<std::string> user = std::nullopt;
        QStringList items;
        std::string status = "";
    } cases[] = {
        {.name = "after the program's",
         .program = "http://a\r\nhttp://b\r\n",
         .user = "http://b\r\n\r\n[bing] http://c\r\n",
         .items = {"http://a", "http://b", "[bing] http://c"}},
        {.name = "no program sites.txt", .user = "[bing] http://c\n", .items = {"[bing] http://c"}},
        {.name = "an empty user file", .user = "", .items = {}, .status = missing},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(folder_ / "sites.txt");
        if (c.program) {
            writeFile("sites.txt", *c.program);
        }
        std::filesystem::create_directories(userSitesFile().parent_path());
        std::ofstream(userSitesFile(), std::ios::binary) << c.user.value_or("");
        TfrmMain& w = makeWindow();
        QStringList items;
        for (int i = 0; i < w.cbxSites->count(); ++i) {
            items << w.cbxSites->itemText(i);
        }
        EXPECT_EQ(items, c.items);
        EXPECT_EQ(w.cbxSites->currentIndex(), c.items.isEmpty() ? -1 : 0);
        EXPECT_EQ(w.MainStatusPanel->text().toStdString(), c.status);
        EXPECT_TRUE(msg_->shown().empty());
        if (!c.items.isEmpty()) {
            // A user's line says what it runs like any other.
            EXPECT_EQ(w.cbxSites->itemData(c.items.size() - 1, Qt::ToolTipRole).toString(),
                      "Runs: bing (profile)");
        }
    }
}

TEST_F(WindowTest, UnreadableOrOversizedSitesFile) {
    // A folder in the file's place cannot be read: the failure is shown and
    // the window still opens with an empty site box.
    std::filesystem::create_directory(folder_ / "sites.txt");
    TfrmMain& unreadable = makeWindow();
    EXPECT_EQ(unreadable.cbxSites->count(), 0);
    ASSERT_EQ(msg_->shown().size(), 1u);
    EXPECT_NE(msg_->shown()[0].text.find("sites.txt"), std::string::npos);
    std::filesystem::remove(folder_ / "sites.txt");

    // Only the first thousand lines become items.
    writeFile("sites.txt", std::string(5000, '\n'));
    TfrmMain& oversized = makeWindow();
    EXPECT_EQ(oversized.cbxSites->count(), 1000);

    // An unreadable file of the user's is named too, and the program's lines
    // are offered.
    writeFile("sites.txt", "http://a\r\n");
    std::filesystem::create_directories(userSitesFile());
    TfrmMain& unreadableUser = makeWindow();
    EXPECT_EQ(unreadableUser.cbxSites->count(), 1);
    ASSERT_EQ(msg_->shown().size(), 1u);
    EXPECT_NE(msg_->shown()[0].text.find(userSitesFile().string()), std::string::npos)
        << msg_->shown()[0].text;
}

// A site line of any length can be read whole: in the drop-down list, and
// in the closed box's tooltip when the box cuts it; the window keeps its
// size whichever line is chosen.
TEST_F(WindowTest, SiteBoxShowsLongLinesWithoutWideningTheWindow) {
    const std::string longLine =
        "http://google@127.0.0.1:8080/" + std::string(300, 'p') + "/the-end";
    writeFile("sites.txt", "http://short\r\n" + longLine + "\r\n");
    TfrmMain& w = makeWindow();
    w.show();
    QApplication::processEvents();
    auto* box = qobject_cast<app::SiteBox*>(w.cbxSites);
    ASSERT_NE(box, nullptr);
    const QSize windowSize = w.size();
    const QSize boxHint = box->sizeHint();

    EXPECT_EQ(box->shownText(), "http://short");
    // A line shown whole only says what it runs.
    EXPECT_EQ(box->toolTipText(), "Runs nothing: no engine matches this line");

    box->setCurrentIndex(1);
    QApplication::processEvents();
    EXPECT_EQ(w.size(), windowSize);
    EXPECT_EQ(box->sizeHint(), boxHint);
    const QString shown = box->shownText();
    EXPECT_TRUE(shown.startsWith("http://")) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith("/the-end")) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
    EXPECT_LE(box->fontMetrics().horizontalAdvance(shown), box->width());
    EXPECT_EQ(box->toolTipText(),
              QString::fromStdString(longLine) + "\nRuns: google (built-in pass)");

    // The list is as wide as the long line, within the screen.
    const int lineWidth =
        box->view()->fontMetrics().horizontalAdvance(QString::fromStdString(longLine));
    const int screenWidth = box->screen()->availableGeometry().width();
    EXPECT_EQ(box->popupWidth() >= lineWidth, lineWidth < screenWidth - 50);
    EXPECT_LE(box->popupWidth(), screenWidth);
    box->showPopup();
    EXPECT_GE(box->view()->width(), std::min(lineWidth, screenWidth - 50));
    box->hidePopup();
    EXPECT_EQ(w.size(), windowSize);

    // A line's own description (Qt::ToolTipRole) comes under the whole line.
    box->setItemData(1, "runs the google pass", Qt::ToolTipRole);
    EXPECT_EQ(box->toolTipText(), QString::fromStdString(longLine) + "\nruns the google pass");
    box->setItemData(0, "runs no pass", Qt::ToolTipRole);
    box->setCurrentIndex(0);
    EXPECT_EQ(box->toolTipText(), "runs no pass");
}

TEST_F(WindowTest, BannerCentredWithSeparateHalves) {
    TfrmMain& w = makeWindow();
    // The plain copy hides the band; the centring is a brand's.
    w.panBanner->show();
    w.show();
    const struct {
        QSize picture;
        QPoint expected;
    } cases[] = {
        // 420 - 52, 32 - 27: not 367
        {.picture = {105, 55}, .expected = {368, 5}},
        // larger than the panel: clipped at both sides
        {.picture = {900, 75}, .expected = {-30, -5}},
        {.picture = {0, 0}, .expected = {420, 32}},
    };
    for (const auto& c : cases) {
        w.imgBanner->resize(c.picture);
        w.gifBanner->resize(c.picture);
        w.resize(840, 542);
        QApplication::processEvents();
        w.resize(841, 542);  // every resize centres again
        QApplication::processEvents();
        w.resize(840, 542);
        QApplication::processEvents();
        ASSERT_EQ(w.panBanner->size(), QSize(840, 65));
        EXPECT_EQ(w.imgBanner->pos(), c.expected) << c.picture.width();
        EXPECT_EQ(w.gifBanner->pos(), c.expected) << c.picture.width();
    }
}

TEST_F(WindowTest, ExceptionFromAHandlerIsReportedAndTheWindowStaysUsable) {
    TfrmMain& w = makeWindow();
    // Reports go to this window's scripted box only while the test runs.
    struct ReportTo {
        explicit ReportTo(app::MessageDialog* dialog) { application().setReportDialog(dialog); }
        ~ReportTo() { application().setReportDialog(nullptr); }
        static app::ZorvaneApplication& application() {
            return static_cast<app::ZorvaneApplication&>(*QApplication::instance());
        }
    } reportTo(msg_);
    w.show();
    // One handler guarded where it is connected, as the window connects its
    // own; one left bare, caught by the event dispatch as the last resort.
    QObject::connect(w.btnSearch, &QPushButton::clicked, app::Guarded([] {
                         throw std::runtime_error("Cannot create file test0.html");
                     }));
    QObject::connect(w.btnStop, &QPushButton::clicked,
                     [] { throw std::runtime_error("Cannot write file c.html"); });

    // A keyword, so that Search asks nothing before it starts (and, without
    // sites, ends at once).
    w.edtKeyword->setText("cars");
    for (QPushButton* button : {w.btnSearch, w.btnStop, w.btnSearch}) {
        QTest::mouseClick(button, Qt::LeftButton);
    }
    EXPECT_EQ(msg_->texts(),
              (std::vector<std::string>{"Cannot create file test0.html", "Cannot write file c.html",
                                        "Cannot create file test0.html"}));
    for (const auto& shown : msg_->shown()) {
        EXPECT_EQ(shown.kind, app::MessageDialog::Kind::Warning);
        EXPECT_EQ(shown.buttons, app::MessageDialog::Buttons::Ok);
    }

    // A guarded handler reports by itself, without help from the dispatch.
    msg_->clearShown();
    EXPECT_NO_THROW(app::Guarded([] { throw 42; })());
    EXPECT_EQ(msg_->texts(), std::vector<std::string>{"Unknown error."});

    // The rest of the window still works.
    msg_->clearShown();
    QTest::mouseClick(w.btnDelAll, Qt::LeftButton);
    EXPECT_EQ(msg_->texts(), std::vector<std::string>{"There are no items to delete."});
}

TEST_F(WindowTest, ClosingSetsStopRequested) {
    TfrmMain& w = makeWindow();
    w.show();
    // A handler still running when the window closes sees the flag.
    bool seenInNestedDispatch = false;
    QTimer::singleShot(0, &w, [&] { seenInNestedDispatch = w.StopRequested; });
    EXPECT_TRUE(w.close());
    EXPECT_TRUE(w.StopRequested);
    EXPECT_TRUE(seenInNestedDispatch);
    EXPECT_FALSE(w.isVisible());
}

TEST_F(WindowTest, LinkClickOpensOnlyAWebUrlInTheBrowser) {
    const auto script = folder_ / "browser";
    const auto record = folder_ / "opened";
    writeFile("browser", "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + record.string() + ".tmp'\nmv '" +
                             record.string() + ".tmp' '" + record.string() + "'\n");
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    // The recording script stands in for the user's browser for this test only.
    struct BrowserVariable {
        explicit BrowserVariable(const std::string& program) {
            const char* value = std::getenv("BROWSER");
            had = value != nullptr;
            saved = value ? value : "";
            ::setenv("BROWSER", program.c_str(), 1);
        }
        ~BrowserVariable() {
            if (had) {
                ::setenv("BROWSER", saved.c_str(), 1);
            } else {
                ::unsetenv("BROWSER");
            }
        }
        bool had;
        std::string saved;
    } browser(script.string());

    TfrmMain& w = makeWindow();
    w.show();
    w.lblLink2URL->setUrl("http://example.com/?a=1&b=$(x)");
    const struct {
        app::LinkLabel* link;
        std::string url;
    } cases[] = {{.link = w.lblLink1URL, .url = "http://www.google.com"},
                 {.link = w.lblLink2URL, .url = "http://example.com/?a=1&b=$(x)"}};
    for (const auto& c : cases) {
        std::filesystem::remove(record);
        QTest::mouseClick(c.link, Qt::LeftButton);
        ASSERT_TRUE(testsupport::WaitUntil([&] { return std::filesystem::exists(record); },
                                           std::chrono::seconds(10)))
            << c.url;
        EXPECT_EQ(util::ReadLineFile(record.string()), std::vector<std::string>{c.url});
    }

    // A brand's link that is no web address starts nothing and says so.
    for (const char* hostile : {"--renderer-cmd-prefix=touch x", "file:///etc/passwd"}) {
        w.lblLink1URL->setUrl(hostile);
        w.MainStatusPanel->setText(QString());
        QTest::mouseClick(w.lblLink1URL, Qt::LeftButton);
        EXPECT_EQ(w.MainStatusPanel->text().toStdString(),
                  "The URL is not an http or https address; it is not opened in the web browser.")
            << hostile;
    }
}

}  // namespace

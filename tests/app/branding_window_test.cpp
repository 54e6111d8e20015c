// The branded window: what a settings file and its side files make of the
// main window, the welcome page and the About box.
#include <QApplication>
#include <QBuffer>
#include <QComboBox>
#include <QImageWriter>
#include <QLabel>
#include <QLineEdit>
#include <QMovie>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableView>
#include <QTest>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <functional>
#include <map>
#include <optional>

#include "app/f_about.h"
#include "app/html_view.h"
#include "app/link_label.h"
#include "app/result_list_model.h"
#include "app/skin.h"
#include "gif_writer.h"
#include "tests/app/browser_script.h"
#include "tests/support/file_bytes.h"
#include "tools/demo_engine/loopback_server.h"
#include "util/line_file.h"
#include "util/settings_file.h"
#include "window_fixture.h"

namespace {

namespace fs = std::filesystem;
using app::TfrmMain;

std::string Tag(const std::string& name, const std::string& value) {
    return "<%%" + name + "%%>" + value + "<%%/" + name + "%%>\r\n";
}

QImage Picture(QSize size, QColor colour) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

std::string Encoded(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format)) << format;
    return bytes.toStdString();
}

std::string Gif(QSize size) {
    return testsupport::WriteAnimatedGif({Picture(size, Qt::red), Picture(size, Qt::blue)}, 10)
        .toStdString();
}

// The application icon as it shows at 32 pixels.
QImage ShownIcon() {
    return QApplication::windowIcon().pixmap(32, 32).toImage();
}

std::string Skin(const QString& sheet) {
    return qCompress(sheet.toUtf8()).toStdString();
}

class BrandedWindowTest : public WindowTest {
protected:
    void TearDown() override {
        WindowTest::TearDown();
        app::ApplyBuiltInSkin();
    }

    void writeSettings(const std::string& plain) {
        util::ReplaceSettingsFile((folder_ / "dbsettings.dat").string(), plain);
    }

    // Every file of the program folder with its bytes.
    std::map<std::string, std::string> folderContents() const {
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::directory_iterator(folder_.path())) {
            files[entry.path().filename().string()] = testsupport::ReadFileBytes(entry.path());
        }
        return files;
    }
};

// A brand with everything: the window takes each value, and the folder of
// side files is exactly as it was afterwards.
TEST_F(BrandedWindowTest, AppliesTheBrandAndLeavesTheFolderAsItWas) {
    writeSettings(
        Tag("ApplicationName", "Example Finder") + Tag("BranderCode", "EX") +
        Tag("BranderType", "Master") +
        Tag("AffiliateURL", "http://aff.example/?id=%%AFFILIATEID%%") + Tag("AffiliateID", "42") +
        Tag("MasterNewsBaseURL", "http://news.example/") + Tag("MasterPublID", "7") +
        Tag("MakeMoneyButton", "Earn with us") + Tag("AppHelpURL", "http://help.example/") +
        Tag("Banner1", "art/top.png^") + Tag("Banner2", "c:\\art\\Top.GIF^http://banner.example/") +
        Tag("Link1", "First^http://one.example/") + Tag("Link2", "Second^http://two.example/") +
        Tag("Link3", "Third^http://three.example/"));
    writeFile("banner2.dat", Gif(QSize(120, 30)));
    writeFile("mainskin.dat", Skin("QPushButton { color: #123456; }"));
    writeFile("main.ico", Encoded(Picture(QSize(32, 32), Qt::green), "ico"));
    writeFile("dbsettings.sim", "left over by an older copy");
    std::map<std::string, std::string> before = folderContents();
    before.erase("dbsettings.sim");

    TfrmMain& w = makeWindow({1, 2, 0});
    w.show();
    EXPECT_EQ(w.windowTitle(), "Example Finder v2.0");
    EXPECT_TRUE(w.btnNews->isVisibleTo(&w));
    EXPECT_EQ(w.btnMakeMoney->text(), "Earn with us");
    EXPECT_EQ(w.BrandingSettings.AffiliateURL, "http://aff.example/?id=42");

    EXPECT_TRUE(w.gifBanner->isVisibleTo(w.panBanner));
    EXPECT_FALSE(w.imgBanner->isVisibleTo(w.panBanner));
    ASSERT_NE(w.gifBanner->movie(), nullptr);
    EXPECT_EQ(w.gifBanner->movie()->state(), QMovie::Running);
    EXPECT_EQ(w.gifBanner->size(), QSize(120, 30));
    EXPECT_EQ(w.panBanner->height(), 40);
    EXPECT_EQ(w.gifBanner->y(), 5);
    EXPECT_EQ(w.gifBanner->cursor().shape(), Qt::PointingHandCursor);

    EXPECT_TRUE(w.panLinks->isVisibleTo(&w));
    EXPECT_EQ(w.lblLink1URL->text(), "Third");
    EXPECT_EQ(w.lblLink1URL->url(), "http://three.example/");
    EXPECT_EQ(w.lblLink2URL->text(), "First");
    EXPECT_EQ(w.lblLink2URL->url(), "http://one.example/");

    EXPECT_EQ(qApp->styleSheet(), "QPushButton { color: #123456; }");
    EXPECT_EQ(ShownIcon().pixelColor(16, 16), QColor(Qt::green));
    EXPECT_TRUE(w.Timer1->isActive()) << "no welcome page: the news check is armed at start";
    EXPECT_TRUE(msg_->shown().empty());

    window_.reset();
    EXPECT_EQ(folderContents(), before) << "nothing renamed, written or left behind";
}

TEST_F(BrandedWindowTest, WithoutSettingsFileTheWindowStaysAsDesigned) {
    writeFile("mainskin.dat", Skin("QWidget { color: red; }"));
    writeFile("main.ico", Encoded(Picture(QSize(32, 32), Qt::green), "ico"));
    TfrmMain& w = makeWindow();
    w.show();
    EXPECT_EQ(w.windowTitle(), "Zorvane");
    EXPECT_TRUE(w.btnNews->isVisibleTo(&w));
    // No brand, so none of a brand's places (ThePlainCopyShowsNoBrandsPlaces).
    EXPECT_FALSE(w.panBanner->isVisibleTo(&w));
    EXPECT_FALSE(w.panLinks->isVisibleTo(&w));
    EXPECT_FALSE(w.btnMakeMoney->isVisibleTo(&w));
    EXPECT_EQ(qApp->styleSheet(), app::BuiltInSkin());
    EXPECT_EQ(ShownIcon(), app::BuiltInIcon().pixmap(32, 32).toImage());
}

// Garbled text must never brand the window: a settings file that does not
// decrypt counts as one without values.
TEST_F(BrandedWindowTest, SettingsFileThatIsNotAuthenticBrandsNothing) {
    util::ReplaceSettingsFile((folder_ / "dbsettings.dat").string(),
                              Tag("ApplicationName", "Example") + Tag("Link1", "A^http://a/"),
                              "another password");
    TfrmMain& w = makeWindow();
    w.show();
    EXPECT_EQ(w.windowTitle(), "Zorvane");
    EXPECT_FALSE(w.btnNews->isVisibleTo(&w));
    EXPECT_EQ(w.btnMakeMoney->text(), "Make Money");
    EXPECT_FALSE(w.panBanner->isVisibleTo(&w));
    EXPECT_FALSE(w.panLinks->isVisibleTo(&w));
    EXPECT_EQ(w.BrandingSettings.ApplicationName, "");
    EXPECT_TRUE(w.Timer1->isActive());
}

TEST_F(BrandedWindowTest, BannerPictures) {
    const struct {
        const char* name;
        std::string entry;
        std::map<std::string, std::string> files;
        bool animated;
        std::optional<QSize> shown;  // nullopt: the panel is hidden
    } cases[] = {
        {.name = "PNG",
         .entry = "top.png^http://b/",
         .files = {{"banner1.dat", Encoded(Picture(QSize(90, 20), Qt::red), "png")}},
         .animated = false,
         .shown = QSize(90, 20)},
        {.name = "JPEG under a path, upper-case name",
         .entry = "c:\\pictures\\TOP.JPG^",
         .files = {{"banner1.dat", Encoded(Picture(QSize(64, 48), Qt::red), "jpg")}},
         .animated = false,
         .shown = QSize(64, 48)},
        {.name = "GIF written in capitals",
         .entry = "Banner.GIF^http://b/",
         .files = {{"banner1.dat", Gif(QSize(50, 70))}},
         .animated = true,
         .shown = QSize(50, 70)},
        {.name = "a file of the picture's name is shown instead",
         .entry = "top.png",
         .files = {{"banner1.dat", Encoded(Picture(QSize(90, 20), Qt::red), "png")},
                   {"top.png", Encoded(Picture(QSize(30, 10), Qt::red), "png")}},
         .animated = false,
         .shown = QSize(30, 10)},
        {.name = "data file missing",
         .entry = "top.png^http://b/",
         .files = {},
         .animated = false,
         .shown = std::nullopt},
        {.name = "damaged picture",
         .entry = "top.png",
         .files = {{"banner1.dat", "\x89PNG\r\n\x1a\n broken"}},
         .animated = false,
         .shown = std::nullopt},
        {.name = "damaged GIF",
         .entry = "top.gif",
         .files = {{"banner1.dat", "GIF89a broken"}},
         .animated = true,
         .shown = std::nullopt},
        {.name = "a format that cannot be read",
         .entry = "top.wmf",
         .files = {{"banner1.dat", "\xD7\xCD\xC6\x9A metafile"}},
         .animated = false,
         .shown = std::nullopt},
        {.name = "a name that is no file",
         .entry = "..^http://b/",
         .files = {{"banner1.dat", Encoded(Picture(QSize(90, 20), Qt::red), "png")}},
         .animated = false,
         .shown = std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        window_.reset();
        fs::remove_all(folder_.path());
        fs::create_directories(folder_.path());
        writeSettings(Tag("Banner1", c.entry));
        for (const auto& [name, bytes] : c.files) {
            writeFile(name, bytes);
        }
        TfrmMain& w = makeWindow();
        w.show();
        if (!c.shown) {
            EXPECT_FALSE(w.panBanner->isVisibleTo(&w));
            continue;
        }
        QLabel* shown = c.animated ? w.gifBanner : w.imgBanner;
        QLabel* hidden = c.animated ? w.imgBanner : w.gifBanner;
        EXPECT_TRUE(w.panBanner->isVisibleTo(&w));
        EXPECT_TRUE(shown->isVisibleTo(w.panBanner));
        EXPECT_FALSE(hidden->isVisibleTo(w.panBanner));
        EXPECT_EQ(shown->size(), *c.shown);
        EXPECT_EQ(w.panBanner->height(), c.shown->height() + 10);
        EXPECT_EQ(shown->pos(), QPoint(w.panBanner->width() / 2 - c.shown->width() / 2, 5));
        const bool hand = !w.BrandingSettings.BannerURL.empty();
        EXPECT_EQ(shown->cursor().shape() == Qt::PointingHandCursor, hand);
    }
}

TEST_F(BrandedWindowTest, LinkBar) {
    const struct {
        const char* name;
        std::string links;
        bool visible;
        QString left, right;
    } cases[] = {
        {.name = "one link",
         .links = Tag("Link1", "Only^http://only/"),
         .visible = true,
         .left = "Only",
         .right = ""},
        {.name = "two links",
         .links = Tag("Link1", "A^http://a/") + Tag("Link2", "B^http://b/"),
         .visible = true,
         .left = "A",
         .right = "B"},
        {.name = "none", .links = "", .visible = false, .left = "", .right = ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeSettings(Tag("ApplicationName", "Example") + c.links);
        TfrmMain& w = makeWindow();
        w.show();
        EXPECT_EQ(w.panLinks->isVisibleTo(&w), c.visible);
        EXPECT_EQ(w.lblLink1URL->text(), c.left);
        EXPECT_EQ(w.lblLink2URL->text(), c.right);
    }
}

TEST_F(BrandedWindowTest, DamagedSkinAndIconLeaveTheBuiltInOnes) {
    writeSettings(Tag("ApplicationName", "Example"));
    writeFile("mainskin.dat", "not compressed at all");
    writeFile("main.ico", "not an icon");
    TfrmMain& w = makeWindow();
    EXPECT_EQ(w.windowTitle(), "Example v2.0");
    EXPECT_EQ(qApp->styleSheet(), app::BuiltInSkin());
    EXPECT_EQ(ShownIcon(), app::BuiltInIcon().pixmap(32, 32).toImage());

    // A skin that claims a small size but inflates without end is refused.
    const QByteArray bomb = qCompress(QByteArray(app::kMaxSkinTextSize + 1, ' '));
    writeFile("mainskin.dat", QByteArray("\x00\x00\x00\x10", 4).append(bomb.mid(4)).toStdString());
    makeWindow();
    EXPECT_EQ(qApp->styleSheet(), app::BuiltInSkin());
}

// The welcome page opens first; its button leads to the main page and arms
// the news check, and Enter presses it again from the main page, except in
// the controls that take Enter themselves.
TEST_F(BrandedWindowTest, WelcomePageAndItsDefaultButton) {
    demo::LoopbackServer updates([](const demo::HttpRequest&) {
        demo::HttpReply missing;
        missing.status = 404;
        missing.reason = "Not Found";
        return missing;
    });
    updates.Start();
    // A site line to search on: without one Search asks nothing.
    writeFile("sites.txt", "http://google@127.0.0.1:1\r\n");
    writeSettings(Tag("Welcome1", "<h1>Hello</h1>") + Tag("Welcome2", "<p>Second page</p>"));
    TfrmMain& w = makeWindow({1});
    w.LiveUpdateBaseURL = updates.baseUrl() + "/live/";
    w.show();
    ASSERT_NE(w.stsWelcome, nullptr);
    EXPECT_EQ(w.pgcPrinc->currentWidget(), w.stsWelcome);
    EXPECT_EQ(w.prfWelcome->toPlainText(), "Second page");
    EXPECT_FALSE(w.Timer1->isActive()) << "no news check before the welcome page is left";

    QTest::keyClick(w.prfWelcome, Qt::Key_Return);
    EXPECT_EQ(w.pgcPrinc->currentWidget(), w.stsMain);
    EXPECT_TRUE(w.Timer1->isActive());
    // The check ends with the silent update check, whatever came before.
    EXPECT_TRUE(QTest::qWaitFor([&] { return updates.requests().size() == 1; }, 10000));
    EXPECT_EQ(updates.requests()[0].target, "/live/mainappupdate.inf");
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.btnUpdate->isEnabled(); }, 10000));
    EXPECT_FALSE(w.Timer1->isActive());
    EXPECT_TRUE(msg_->shown().empty()) << "silent";

    // Enter in a part of the window that leaves the key to it (the site
    // box takes Enter for a search).
    QTest::keyClick(w.btnSearch->parentWidget(), Qt::Key_Enter);
    EXPECT_EQ(w.pgcPrinc->currentWidget(), w.stsMain);
    EXPECT_TRUE(w.Timer1->isActive()) << "armed once more";

    // The keyword box takes Enter itself, for a search (which asks first,
    // with no keyword typed).
    w.Timer1->stop();
    QTest::keyClick(w.edtKeyword, Qt::Key_Return);
    EXPECT_FALSE(w.Timer1->isActive()) << "the welcome button was pressed";
    EXPECT_EQ(msg_->texts(), std::vector<std::string>{"Search without a keyword?"});
}

// The welcome page shows pictures that stand beside the program, and reads
// no other file: a name such as /dev/zero would block the window for good.
TEST_F(BrandedWindowTest, WelcomePagePicturesComeOnlyFromTheProgramFolder) {
    writeFile("logo.png", Encoded(Picture(QSize(24, 12), Qt::red), "png"));
    fs::create_directories(folder_ / "sub");
    writeFile("sub/inner.png", Encoded(Picture(QSize(24, 12), Qt::red), "png"));
    writeSettings(Tag("Welcome1",
                      "<img src=\"logo.png\"><img src=\"/dev/zero\">"
                      "<img src=\"../logo.png\"><img src=\"sub/inner.png\">"
                      "<img src=\"file:///dev/zero\">"));
    TfrmMain& w = makeWindow();
    w.show();
    const auto picture = [&](const char* name) {
        return w.prfWelcome->document()
            ->resource(QTextDocument::ImageResource, QUrl(QString::fromLatin1(name)))
            .value<QImage>();
    };
    EXPECT_EQ(picture("logo.png").size(), QSize(24, 12));
    for (const char* refused : {"/dev/zero", "../logo.png", "sub/inner.png", "file:///dev/zero"}) {
        EXPECT_EQ(picture(refused).size(), QSize(1, 1)) << refused;
    }
}

TEST_F(BrandedWindowTest, WithoutWelcomeTagsEnterDoesNothingOfTheKind) {
    writeSettings(Tag("ApplicationName", "Example"));
    TfrmMain& w = makeWindow();
    w.show();
    EXPECT_EQ(w.stsWelcome, nullptr);
    EXPECT_EQ(w.pgcPrinc->count(), 1);
    w.Timer1->stop();
    QTest::keyClick(w.edtKeyword, Qt::Key_Return);
    EXPECT_FALSE(w.Timer1->isActive());
}

TEST_F(BrandedWindowTest, ClicksOpenTheBrandsUrlsInTheBrowser) {
    const fs::path record = folder_ / "opened";
    writeFile("browser", "#!/bin/sh\necho \"$#:$*\" >> '" + record.string() + "'\n");
    fs::permissions(folder_ / "browser", fs::perms::owner_all);
    struct BrowserVariable {
        explicit BrowserVariable(const std::string& program) {
            ::setenv("BROWSER", program.c_str(), 1);
        }
        ~BrowserVariable() { ::unsetenv("BROWSER"); }
    } browser((folder_ / "browser").string());

    writeSettings(Tag("AffiliateURL", "http://aff.example/?a=1&b=2") +
                  Tag("Welcome1", "<a href=\"http://welcome.example/x?y=1\">more</a>") +
                  Tag("Banner1", "top.png"));
    writeFile("banner1.dat", Encoded(Picture(QSize(40, 20), Qt::red), "png"));
    TfrmMain& w = makeWindow();
    w.show();
    emit w.prfWelcome->anchorClicked(QUrl("http://welcome.example/x?y=1"));
    QTest::mouseClick(w.bsSkinButton1, Qt::LeftButton);
    // The banner has no click URL: its click starts nothing.
    QTest::mouseClick(w.imgBanner, Qt::LeftButton);
    QTest::mouseClick(w.btnMakeMoney, Qt::LeftButton);
    QTest::mouseClick(w.btnHelp, Qt::LeftButton);
    // The browsers run on their own, so they may finish in any order.
    const auto opened = [&] {
        std::vector<std::string> lines = util::ReadLineFile(record.string());
        std::sort(lines.begin(), lines.end());
        return lines;
    };
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return fs::exists(record) && util::ReadLineFile(record.string()).size() >= 3; },
        10000));
    EXPECT_EQ(opened(), (std::vector<std::string>{"0:", "1:http://aff.example/?a=1&b=2",
                                                  "1:http://welcome.example/x?y=1"}));
}

// The welcome page comes from the brand: a link on it that is no web address
// leads nowhere and says so, as every other link of the window does.
TEST_F(BrandedWindowTest, PageLinksThatAreNoWebUrlsOpenNothing) {
    const fs::path record = folder_ / "opened";
    writeFile("browser", "#!/bin/sh\necho \"$#:$*\" >> '" + record.string() + "'\n");
    fs::permissions(folder_ / "browser", fs::perms::owner_all);
    struct BrowserVariable {
        explicit BrowserVariable(const std::string& program) {
            ::setenv("BROWSER", program.c_str(), 1);
        }
        ~BrowserVariable() { ::unsetenv("BROWSER"); }
    } browser((folder_ / "browser").string());

    writeSettings(Tag("Welcome1", "<a href=\"-dash-arg\">more</a>"));
    TfrmMain& w = makeWindow();
    w.show();
    const QUrl hostile[] = {
        QUrl("-dash-arg"),
        QUrl("--renderer-cmd-prefix=touch x"),
        QUrl("file:///etc/passwd"),
        QUrl("javascript:alert(1)"),
        QUrl("DATA:text/html,x"),
        QUrl("page.html"),
        QUrl(""),
    };
    for (const QUrl& link : hostile) {
        SCOPED_TRACE(link.toString().toStdString());
        w.MainStatusPanel->setText("before");
        emit w.prfWelcome->anchorClicked(link);
        EXPECT_EQ(w.MainStatusPanel->text().toStdString(),
                  "The URL is not an http or https address; it is not opened in the web browser.");
    }
    // A place on the page is no start at all.
    app::HtmlView page;
    std::vector<QString> handed;
    QObject::connect(&page, &app::HtmlView::linkClicked,
                     [&](const QString& url) { handed.push_back(url); });
    emit page.anchorClicked(QUrl("#part"));
    emit page.anchorClicked(QUrl("https://news.example/a b"));
    EXPECT_EQ(handed, std::vector<QString>{"https://news.example/a%20b"});
    // One web link last: the browser's record holds it alone.
    emit w.prfWelcome->anchorClicked(QUrl("https://news.example/item?id=7"));
    // The shell makes the file before it writes the line: wait for the line.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return fs::exists(record) && !util::ReadLineFile(record.string()).empty(); }, 10000));
    EXPECT_EQ(util::ReadLineFile(record.string()),
              std::vector<std::string>{"1:https://news.example/item?id=7"});
}

// With no browser registered, every address the window opens says so in
// the status bar, the way the grid always has.
TEST_F(BrandedWindowTest, EveryBrowserStartSaysWhenThereIsNoBrowser) {
    writeSettings(
        Tag("AffiliateURL", "http://aff.example/") + Tag("AppHelpURL", "http://help.example/") +
        Tag("Welcome1", "<a href=\"http://welcome.example/\">more</a>") +
        Tag("Banner1", "top.png^http://banner.example/") +
        Tag("Link1", "First^http://one.example/") + Tag("Link2", "Second^http://two.example/"));
    writeFile("banner1.dat", Encoded(Picture(QSize(40, 20), Qt::red), "png"));
    TfrmMain& w = makeWindow();
    w.show();
    w.results().appendRow({"1", "anchor", "http://row.example/", "http://www.google.com"});
    const NoBrowserRegistered none(folder_ / "no-browser");
    const struct {
        const char* name;
        std::function<void()> act;
    } starts[] = {
        {.name = "welcome page link",
         .act = [&] { emit w.prfWelcome->anchorClicked(QUrl("http://welcome.example/")); }},
        {.name = "first link", .act = [&] { QTest::mouseClick(w.lblLink1URL, Qt::LeftButton); }},
        {.name = "second link", .act = [&] { QTest::mouseClick(w.lblLink2URL, Qt::LeftButton); }},
        {.name = "banner", .act = [&] { QTest::mouseClick(w.imgBanner, Qt::LeftButton); }},
        {.name = "Make Money", .act = [&] { QTest::mouseClick(w.btnMakeMoney, Qt::LeftButton); }},
        {.name = "Help", .act = [&] { QTest::mouseClick(w.btnHelp, Qt::LeftButton); }},
        {.name = "grid row",
         .act =
             [&] {
                 w.lvwResults->setCurrentIndex(w.lvwResults->model()->index(0, 0));
                 QTest::keyClick(w.lvwResults, Qt::Key_Return);
             }},
    };
    for (const auto& start : starts) {
        SCOPED_TRACE(start.name);
        w.MainStatusPanel->setText("before");
        start.act();
        EXPECT_EQ(w.MainStatusPanel->text().toStdString(),
                  "No web browser is registered to open the URL.");
    }
    EXPECT_TRUE(msg_->shown().empty());
}

TEST_F(BrandedWindowTest, AboutBox) {
    branding::BrandingSettings none;
    app::TfrmAbout empty(none);
    EXPECT_EQ(empty.windowTitle(), "About ...");
    EXPECT_EQ(empty.lblProductName->text(), "");
    EXPECT_EQ(empty.lblProductVersion->text(), "Product Version: 2.0");
    EXPECT_EQ(empty.lblCopyright1->text(), "Copyright (c)  ");
    EXPECT_EQ(empty.memAbout->toPlainText(), "");
    EXPECT_EQ(empty.size(), QSize(368, 211));
    EXPECT_EQ(empty.editAbout->text(), "Ok");
    EXPECT_TRUE(empty.lblProductName->font().bold());

    writeSettings(Tag("ApplicationName", "Example") + Tag("CopyrightYears", "2001-2026 ") +
                  Tag("CopyrightCompany", " <b>Example Ltd</b>") +
                  Tag("AboutText", "line one\r\nline two\nline three\rline four"));
    TfrmMain& w = makeWindow();
    w.show();
    bool checked = false;
    QTimer::singleShot(0, &w, [&] {
        auto* about = qobject_cast<app::TfrmAbout*>(QApplication::activeModalWidget());
        ASSERT_NE(about, nullptr);
        EXPECT_EQ(about->windowTitle(), "About Example...");
        EXPECT_EQ(about->lblProductName->text(), "Example");
        EXPECT_EQ(about->lblCopyright1->text(), "Copyright (c) 2001-2026   <b>Example Ltd</b>");
        EXPECT_EQ(about->lblCopyright1->textFormat(), Qt::PlainText);
        EXPECT_EQ(about->memAbout->toPlainText(), "line one\nline two\nline three\nline four");
        EXPECT_TRUE(about->memAbout->isReadOnly());
        checked = true;
        QTest::mouseClick(about->editAbout, Qt::LeftButton);
    });
    QTest::mouseClick(w.btnAbout, Qt::LeftButton);
    EXPECT_TRUE(checked);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// The plain copy (no dbsettings.dat) shows none of a brand's places: no
// banner band, no link labels, no Make Money or Help without an address, and
// its About box speaks for the program itself. A branded copy keeps its
// buttons even without their addresses, and its About box is the brand's.
TEST_F(BrandedWindowTest, ThePlainCopyShowsNoBrandsPlaces) {
    const struct {
        const char* name;
        std::optional<std::string> settings;
        bool buttonsShown;
        QStringList about;  // title, name, version, third line, text
    } cases[] = {
        {.name = "plain copy",
         .settings = std::nullopt,
         .buttonsShown = false,
         .about = {"About Zorvane...", "Zorvane", "Product Version: 2.0",
                   "Collect the result lists of web search engines and export them as CSV",
                   "Licence: proprietary (LicenseRef-proprietary)."}},
        {.name = "branded copy",
         .settings = Tag("ApplicationName", "Example") + Tag("CopyrightYears", "2026") +
                     Tag("CopyrightCompany", "Example Ltd"),
         .buttonsShown = true,
         .about = {"About Example...", "Example", "Product Version: 2.0",
                   "Copyright (c) 2026 Example Ltd", ""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(folder_ / "dbsettings.dat");
        if (c.settings) {
            writeSettings(*c.settings);
        }
        TfrmMain& w = makeWindow();
        w.Timer1->stop();
        w.show();
        EXPECT_FALSE(w.panBanner->isVisible());
        EXPECT_FALSE(w.panLinks->isVisible());
        EXPECT_EQ(w.btnMakeMoney->isVisible(), c.buttonsShown);
        EXPECT_EQ(w.btnHelp->isVisible(), c.buttonsShown);
        EXPECT_TRUE(w.btnAbout->isVisible());

        QStringList shown;
        QTimer::singleShot(0, &w, [&] {
            auto* about = qobject_cast<app::TfrmAbout*>(QApplication::activeModalWidget());
            ASSERT_NE(about, nullptr);
            shown = {about->windowTitle(), about->lblProductName->text(),
                     about->lblProductVersion->text(), about->lblCopyright1->text(),
                     about->memAbout->toPlainText()};
            about->accept();
        });
        QTest::mouseClick(w.btnAbout, Qt::LeftButton);
        EXPECT_EQ(shown, c.about);
    }
}

}  // namespace

// The news window headless, against a scripted news server on a loopback
// port: the rows, the details of a selection, the stored id, and the
// selection held still while a request waits.
#include <gtest/gtest.h>
#include <unistd.h>
#include <QApplication>
#include <QBuffer>
#include <QHeaderView>
#include <QImage>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTest>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTimer>
#include <QTreeWidget>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/f_news.h"
#include "app/message_dialog.h"
#include "app/zorvane_application.h"
#include "publisher/news_notification.h"
#include "tests/publisher/scripted_host.h"
#include "tests/support/file_bytes.h"
#include "tests/support/scripted_server.h"
#include "tests/support/temp_dir.h"
#include "util/settings_file.h"

namespace {

namespace fs = std::filesystem;
using app::TfrmNews;
using testsupport::Reply;
using testsupport::Script;
using testsupport::ScriptedServer;
using testsupport::Step;

const std::string kNoReply = "There is a trouble accessing the news site. Contact your provider.";
const std::string kInvalidNews = "There is a trouble with this news. Contact your provider.";

const std::vector<std::string> kThreeRecords = {
    "12^Spring release^2026-04-01",
    "11^Caf\xE9 talk^2026-03-15",
    "9^Old news^2025-12-24",
};

std::string Ok200(const std::string& body) {
    return testsupport::HttpResponse("HTTP/1.1 200 OK", body);
}

// A details reply: the page with its "$" escapes, closed as the service does.
std::string Details(const std::string& escaped) {
    return Ok200(escaped + "\xAFOK");
}

// The value of a field of a multipart request as sent; "<absent>" without it.
std::string FormField(const std::string& request, const std::string& name) {
    const std::string marker = "name=\"" + name + "\"\r\n\r\n";
    const std::size_t at = request.find(marker);
    if (at == std::string::npos) {
        return "<absent>";
    }
    const std::size_t from = at + marker.size();
    return request.substr(from, request.find("\r\n", from) - from);
}

std::vector<int> SelectedRows(const TfrmNews& w) {
    std::vector<int> rows;
    for (QTreeWidgetItem* item : w.lvwItems->selectedItems()) {
        rows.push_back(w.lvwItems->indexOfTopLevelItem(item));
    }
    return rows;
}

void ClickRow(TfrmNews& w, int row) {
    const QRect rect = w.lvwItems->visualItemRect(w.lvwItems->topLevelItem(row));
    QTest::mouseClick(w.lvwItems->viewport(), Qt::LeftButton, {}, rect.center());
}

void SelectByModel(TfrmNews& w, int row) {
    w.lvwItems->selectionModel()->select(
        w.lvwItems->model()->index(row, 0),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

// The cursors the pointer shows over the window, the list and the view.
struct Cursors {
    Qt::CursorShape window;
    Qt::CursorShape list;
    Qt::CursorShape view;
    bool operator==(const Cursors&) const = default;
};

Cursors CursorsOf(const TfrmNews& w) {
    return {w.cursor().shape(), w.lvwItems->viewport()->cursor().shape(),
            w.prfEditorNews->viewport()->cursor().shape()};
}

const Cursors kBusy = {Qt::WaitCursor, Qt::WaitCursor, Qt::WaitCursor};

class NewsWindow : public ::testing::Test {
protected:
    void SetUp() override {
        settings_ = (folder_ / "dbsettings.dat").string();
        util::ReplaceSettingsFile(settings_,
                                  "<%%ApplicationName%%>Example<%%/ApplicationName%%>\r\n");
    }
    void TearDown() override {
        window_.reset();
        news_.reset();
        server_.reset();
    }

    // The news server plays one script per connection, the last one again
    // for any further connection.
    void serve(std::vector<Script> scripts) {
        server_ = std::make_unique<ScriptedServer>(std::move(scripts));
        news_ = std::make_unique<publisher::NewsClient>(http_, host_, brand());
    }

    publisher::NewsBrand brand() const {
        publisher::NewsBrand brand;
        brand.BranderType = "Master";
        brand.BranderCode = "EX";
        brand.MasterPublID = "pub";
        brand.MasterNewsBaseURL = server_->url("/news/");
        return brand;
    }

    TfrmNews& open(const std::vector<std::string>& NewsList) {
        window_ = std::make_unique<TfrmNews>(NewsList, *news_, brand(), settings_);
        window_->show();
        return *window_;
    }

    std::string storedId() const { return publisher::ReadLastNewsId(settings_); }

    testsupport::TempDir folder_{"zorvane_news"};
    std::string settings_;
    publisher_test::ScriptedHost host_;
    net::HttpClient http_;
    std::unique_ptr<ScriptedServer> server_;
    std::unique_ptr<publisher::NewsClient> news_;
    std::unique_ptr<TfrmNews> window_;
};

TEST_F(NewsWindow, OpensWithOneRowPerRecordInReplyOrderAndNothingSelected) {
    // The designed geometry, without a skin (another test's window may have
    // applied one to the whole application; a skin may pad buttons).
    struct NoSkin {
        QString skin = qApp->styleSheet();
        NoSkin() { qApp->setStyleSheet({}); }
        ~NoSkin() { qApp->setStyleSheet(skin); }
    } noSkin;
    serve({Reply(Details("unused"))});
    TfrmNews& w = open(kThreeRecords);

    const struct {
        QString title;
        QString published;
        QByteArray id;
    } rows[] = {
        {.title = "Spring release", .published = "2026-04-01", .id = "12"},
        {.title = QString::fromUtf16(u"Caf\u00E9 talk"), .published = "2026-03-15", .id = "11"},
        {.title = "Old news", .published = "2025-12-24", .id = "9"},
    };
    ASSERT_EQ(w.lvwItems->topLevelItemCount(), static_cast<int>(std::size(rows)));
    for (int i = 0; i < w.lvwItems->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = w.lvwItems->topLevelItem(i);
        EXPECT_EQ(item->text(0), rows[i].title) << i;
        EXPECT_EQ(item->text(1), rows[i].published) << i;
        EXPECT_EQ(item->data(0, TfrmNews::kNewsIdRole).toByteArray(), rows[i].id) << i;
    }
    EXPECT_TRUE(SelectedRows(w).empty());
    EXPECT_TRUE(w.prfEditorNews->document()->isEmpty());
    EXPECT_EQ(server_->connectionCount(), 0u);
    EXPECT_FALSE(w.FetchingDetails);

    EXPECT_EQ(w.windowTitle(), "News");
    EXPECT_TRUE(w.isModal());
    EXPECT_EQ(w.size(), QSize(682, 411));
    const QPoint offCentre = w.geometry().center() - w.screen()->availableGeometry().center();
    // Within the rounding of the halves and the frame.
    EXPECT_LE(std::abs(offCentre.x()), 2);
    EXPECT_LE(std::abs(offCentre.y()), 2);

    EXPECT_EQ(w.lvwItems->columnCount(), 2);
    EXPECT_EQ(w.lvwItems->headerItem()->text(0), "News Title");
    EXPECT_EQ(w.lvwItems->headerItem()->text(1), "Published");
    EXPECT_EQ(w.lvwItems->header()->sectionSize(1), 160);
    EXPECT_EQ(w.lvwItems->header()->sectionSize(0), w.lvwItems->viewport()->width() - 160);
    EXPECT_FALSE(w.lvwItems->rootIsDecorated());
    EXPECT_EQ(w.lvwItems->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(w.lvwItems->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(w.lvwItems->editTriggers(), QAbstractItemView::NoEditTriggers);
    const QPalette list = w.lvwItems->palette();
    EXPECT_EQ(list.color(QPalette::Inactive, QPalette::Highlight),
              list.color(QPalette::Active, QPalette::Highlight));
    EXPECT_EQ(list.color(QPalette::Inactive, QPalette::HighlightedText),
              list.color(QPalette::Active, QPalette::HighlightedText));

    EXPECT_EQ(w.panTop->height(), 105);
    EXPECT_EQ(w.splNews->orientation(), Qt::Vertical);
    EXPECT_EQ(w.splNews->handleWidth(), 10);
    EXPECT_EQ(w.prfEditorNews->minimumHeight(), 10);
    EXPECT_EQ(w.panTop->minimumHeight(), 10);
    EXPECT_TRUE(w.prfEditorNews->isReadOnly());
    EXPECT_FALSE(w.prfEditorNews->openLinks());
    EXPECT_EQ(w.panBottom->height(), 41);
    EXPECT_EQ(w.btnExit->text(), "Close");
    EXPECT_EQ(w.btnExit->size(), QSize(97, 20));
    EXPECT_LE((w.btnExit->geometry().center() - w.panBottom->rect().center()).manhattanLength(), 1);

    // The button keeps to the middle of its panel when the window grows.
    w.resize(900, 500);
    QApplication::processEvents();
    EXPECT_EQ(w.panBottom->height(), 41);
    EXPECT_LE((w.btnExit->geometry().center() - w.panBottom->rect().center()).manhattanLength(), 1);
}

TEST_F(NewsWindow, RecordsShowTheirFieldsAsWindows1252AndMissingFieldsEmpty) {
    serve({Reply(Details("unused"))});
    struct Case {
        std::string record;
        QString title;
        QString published;
        QByteArray id;
    };
    const std::vector<Case> cases = {
        {.record = "7^Title only", .title = "Title only", .published = "", .id = "7"},
        {.record = "8", .title = "", .published = "", .id = "8"},
        {.record = "9^^", .title = "", .published = "", .id = "9"},
        {.record = "^No id^2026-01-01", .title = "No id", .published = "2026-01-01", .id = ""},
        {.record = "5^T^D^extra", .title = "T", .published = "D", .id = "5"},
        // The code page's own letters, its undefined bytes kept as they are,
        // and Latin-1 above.
        {.record = "3^\x80\x81\x8D\x8F\x90\x9D\x93q\x94^\x9F\xE9\xFF",
         .title = QString::fromUtf16(u"\u20AC\u0081\u008D\u008F\u0090\u009D\u201Cq\u201D"),
         .published = QString::fromUtf16(u"\u0178\u00E9\u00FF"),
         .id = "3"},
    };
    std::vector<std::string> records;
    for (const Case& c : cases) {
        records.push_back(c.record);
    }
    TfrmNews& w = open(records);
    ASSERT_EQ(w.lvwItems->topLevelItemCount(), static_cast<int>(cases.size()));
    for (int i = 0; i < w.lvwItems->topLevelItemCount(); ++i) {
        SCOPED_TRACE(cases[i].record);
        const QTreeWidgetItem* item = w.lvwItems->topLevelItem(i);
        EXPECT_EQ(item->text(0), cases[i].title);
        EXPECT_EQ(item->text(1), cases[i].published);
        EXPECT_EQ(item->data(0, TfrmNews::kNewsIdRole).toByteArray(), cases[i].id);
    }
}

// A row whose id is no news id (the list leaves such records out; this is
// the store's own guard) shows its details, but its id is not kept: the
// brand's file must not grow by what a server sends.
TEST_F(NewsWindow, RowWithAnIdThatIsNoNewsIdIsReadButNotStored) {
    const std::string page = "<html><body>Sorry, BOOKED</body></html>";
    serve({Reply(Ok200(page))});
    const std::string brand = testsupport::ReadFileBytes(settings_);
    TfrmNews& w = open({"^No id^d", "4294967296^Big^d", std::string(1 << 20, '9') + "^Huge^d"});
    for (int row = 0; row < 3; ++row) {
        SCOPED_TRACE(row);
        SelectByModel(w, row);
        EXPECT_EQ(w.prfEditorNews->toPlainText(), "Sorry, BOOKED");
        EXPECT_EQ(testsupport::ReadFileBytes(settings_), brand);
    }
    EXPECT_TRUE(host_.shown.empty());
}

// Every way of selecting a row fetches that row's item; reading an older item
// after a newer one lowers the stored id.
TEST_F(NewsWindow, EachSelectionSendsItsIdShowsTheDecodedDetailsAndStoresTheId) {
    serve({Reply(Details("<p>Caf$E9 talk</p>")), Reply(Details("<p>\x93Old\x94 news$21</p>")),
           Reply(Details("<h1>Spring</h1>"))});
    TfrmNews& w = open(kThreeRecords);
    const Cursors idle = CursorsOf(w);
    ASSERT_NE(idle, kBusy);

    struct Selection {
        const char* how;
        std::function<void()> select;
        int row;
        std::string id;
        QString shown;
    };
    const std::vector<Selection> selections = {
        {.how = "mouse",
         .select = [&] { ClickRow(w, 1); },
         .row = 1,
         .id = "11",
         .shown = QString::fromUtf16(u"Caf\u00E9 talk")},
        {.how = "key",
         .select = [&] { QTest::keyClick(w.lvwItems, Qt::Key_Down); },
         .row = 2,
         .id = "9",
         .shown = QString::fromUtf16(u"\u201COld\u201D news!")},
        {.how = "code",
         .select = [&] { SelectByModel(w, 0); },
         .row = 0,
         .id = "12",
         .shown = "Spring"},
    };
    for (std::size_t i = 0; i < selections.size(); ++i) {
        const Selection& s = selections[i];
        SCOPED_TRACE(s.how);
        s.select();
        EXPECT_EQ(SelectedRows(w), std::vector{s.row});
        ASSERT_EQ(server_->connectionCount(), i + 1);
        const std::string request = server_->received(i);
        EXPECT_EQ(request.substr(0, request.find("\r\n")),
                  "POST /news/getnewsdetails.php HTTP/1.0");
        EXPECT_EQ(FormField(request, "memusername"), "pub");
        EXPECT_EQ(FormField(request, "prodtype"), "BM");
        EXPECT_EQ(FormField(request, "newsid"), s.id);
        EXPECT_EQ(w.prfEditorNews->toPlainText(), s.shown);
        EXPECT_EQ(storedId(), s.id);
        EXPECT_FALSE(w.FetchingDetails);
        EXPECT_EQ(CursorsOf(w), idle);
    }
    EXPECT_TRUE(host_.shown.empty());
}

TEST_F(NewsWindow, FailedDetailsRequestWarnsKeepsTheViewAndStoresNothing) {
    serve({Reply(Details("<p>First</p>")), Reply(Ok200("INVALIDNEWS"))});
    TfrmNews& w = open(kThreeRecords);
    const Cursors idle = CursorsOf(w);
    ClickRow(w, 0);
    ASSERT_EQ(w.prfEditorNews->toPlainText(), "First");
    ASSERT_EQ(storedId(), "12");

    ClickRow(w, 1);
    EXPECT_EQ(FormField(server_->received(1), "newsid"), "11");
    EXPECT_EQ(host_.shown, (std::vector<publisher_test::ScriptedHost::Shown>{
                               {publisher::PublisherHost::MessageKind::Warning, kInvalidNews,
                                publisher::PublisherHost::MessageButtons::Ok}}));
    EXPECT_EQ(w.prfEditorNews->toPlainText(), "First");
    EXPECT_EQ(storedId(), "12");
    EXPECT_EQ(SelectedRows(w), std::vector{1});
    EXPECT_FALSE(w.FetchingDetails);
    EXPECT_EQ(CursorsOf(w), idle);
}

// The first request's server never answers; from inside its wait every way
// of moving the selection is tried, then the request is given up.
TEST_F(NewsWindow, SelectionHoldsStillWhileTheDetailsRequestWaits) {
    serve({{Step::AwaitRequest(), Step::Delay(10000)}, Reply(Details("<p>Old</p>"))});
    TfrmNews& w = open(kThreeRecords);
    const Cursors idle = CursorsOf(w);

    struct During {
        bool fetching = false;
        Cursors cursors{};
        std::vector<int> afterMouse, afterKey, afterModel, afterClear;
    } during;
    int idleRounds = 0;
    http_.onIdle = [&] {
        if (++idleRounds > 1) {
            return;
        }
        during.fetching = w.FetchingDetails;
        during.cursors = CursorsOf(w);
        ClickRow(w, 2);
        during.afterMouse = SelectedRows(w);
        QTest::keyClick(w.lvwItems, Qt::Key_Down);
        during.afterKey = SelectedRows(w);
        SelectByModel(w, 2);
        during.afterModel = SelectedRows(w);
        w.lvwItems->clearSelection();
        during.afterClear = SelectedRows(w);
        http_.Disconnect();
    };
    ClickRow(w, 0);

    EXPECT_EQ(idleRounds, 1);
    EXPECT_TRUE(during.fetching);
    EXPECT_EQ(during.cursors, kBusy);
    const std::vector<int> first{0};
    EXPECT_EQ(during.afterMouse, first);
    EXPECT_EQ(during.afterKey, first);
    EXPECT_EQ(during.afterModel, first);
    EXPECT_EQ(during.afterClear, first);
    // Only the given-up request was reported: no second request was started
    // from inside the first.
    EXPECT_EQ(host_.texts(), std::vector{kNoReply});
    EXPECT_EQ(server_->connectionCount(), 1u);
    EXPECT_EQ(SelectedRows(w), first);
    EXPECT_EQ(storedId(), "");
    EXPECT_FALSE(w.FetchingDetails);
    EXPECT_EQ(CursorsOf(w), idle);

    // Once the request has ended the list moves again.
    http_.onIdle = nullptr;
    ClickRow(w, 2);
    EXPECT_EQ(SelectedRows(w), std::vector{2});
    EXPECT_EQ(FormField(server_->received(1), "newsid"), "9");
    EXPECT_EQ(w.prfEditorNews->toPlainText(), "Old");
    EXPECT_EQ(storedId(), "9");
}

// A settings file that cannot be replaced ends the action with a report; the
// window is usable again afterwards.
TEST_F(NewsWindow, FailureToStoreTheIdIsReportedAndLeavesTheWindowIdle) {
    serve({Reply(Details("<p>Shown</p>"))});
    settings_ = folder_.path().string();
    TfrmNews& w = open(kThreeRecords);
    const Cursors idle = CursorsOf(w);
    app::ScriptedMessageDialog reports;
    auto* application = qobject_cast<app::ZorvaneApplication*>(QCoreApplication::instance());
    ASSERT_NE(application, nullptr);
    application->setReportDialog(&reports);
    ClickRow(w, 0);
    application->setReportDialog(nullptr);

    ASSERT_EQ(reports.shown().size(), 1u);
    EXPECT_EQ(reports.shown()[0].kind, app::MessageDialog::Kind::Warning);
    EXPECT_EQ(w.prfEditorNews->toPlainText(), "Shown");
    EXPECT_FALSE(w.FetchingDetails);
    EXPECT_EQ(CursorsOf(w), idle);

    EXPECT_THROW(w.lvwItemsChange(), util::SettingsFileError);
    EXPECT_FALSE(w.FetchingDetails);
    EXPECT_EQ(CursorsOf(w), idle);
}

// Pictures named by a path would be read from this machine's disk; only what
// the page carries itself is loaded.
TEST_F(NewsWindow, DetailsLoadOnlyPicturesTheyCarry) {
    const std::string picture = (folder_ / "local.png").string();
    QImage red(4, 4, QImage::Format_RGB32);
    red.fill(Qt::red);
    ASSERT_TRUE(red.save(QString::fromStdString(picture), "PNG"));
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        red.save(&buffer, "PNG");
    }
    const std::string inlined = "data:image/png;base64," + png.toBase64().toStdString();
    serve({Reply(Details("<img src=\"" + picture + "\"><img src=\"" + inlined + "\">"))});
    TfrmNews& w = open(kThreeRecords);
    ClickRow(w, 0);
    ASSERT_EQ(storedId(), "12");
    // Painting lays the page out, which is when pictures are looked up.
    w.prfEditorNews->grab();
    const auto shownPicture = [&](const std::string& src) {
        const QVariant resource = w.prfEditorNews->document()->resource(
            QTextDocument::ImageResource, QUrl(QString::fromStdString(src)));
        return resource.userType() == QMetaType::QByteArray
                   ? QImage::fromData(resource.toByteArray())
                   : resource.value<QImage>();
    };
    EXPECT_NE(shownPicture(picture).size(), red.size());
    EXPECT_EQ(shownPicture(inlined).size(), red.size());
}

TEST_F(NewsWindow, CloseEndsTheModalWindowAccepted) {
    serve({Reply(Details("unused"))});
    TfrmNews w(kThreeRecords, *news_, brand(), settings_);
    int rowsWhileOpen = -1;
    QTimer::singleShot(0, &w, [&] {
        rowsWhileOpen = w.lvwItems->topLevelItemCount();
        w.btnExit->click();
    });
    EXPECT_EQ(w.exec(), QDialog::Accepted);
    EXPECT_EQ(rowsWhileOpen, 3);
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(server_->connectionCount(), 0u);
}

}  // namespace

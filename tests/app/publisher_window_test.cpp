// The publisher services in the main window: the start-up news check with
// its hint, the update button, and the busy client, against the demo
// publisher on a loopback port.
#include <pwd.h>
#include <unistd.h>

#include <QApplication>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <atomic>
#include <chrono>
#include <thread>

#include "app/f_news.h"
#include "app/message_hint.h"
#include "app/window_publisher_host.h"
#include "app/zorvane_application.h"
#include "publisher/news_notification.h"
#include "publisher/publisher_texts.h"
#include "publisher/update_check.h"
#include "tests/app/browser_script.h"
#include "tests/support/child_process.h"
#include "tests/support/file_bytes.h"
#include "tests/support/scripted_server.h"
#include "tools/demo_publisher/demo_news.h"
#include "util/settings_file.h"
#include "window_fixture.h"

namespace {

namespace fs = std::filesystem;
using app::TfrmMain;

std::string Tag(const std::string& name, const std::string& value) {
    return "<%%" + name + "%%>" + value + "<%%/" + name + "%%>\r\n";
}

class PublisherWindowTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        publisher_.Start();
    }
    void TearDown() override {
        if (app::MessageHint* hint = app::MessageHint::current()) {
            hint->close();
        }
        WindowTest::TearDown();
    }

    // A Master brand of the demo publisher, with the stored id if any.
    void writeBrand(const std::string& lastNewsId = "", const std::string& type = "Master") {
        std::string plain = Tag("ApplicationName", "Example") + Tag("BranderCode", "EX") +
                            Tag("BranderType", type) +
                            Tag("MasterNewsBaseURL", publisher_.baseUrl() + "/news/") +
                            Tag("MasterPublID", std::string(demo::kDemoPublisherId));
        if (!lastNewsId.empty()) {
            plain += "<%%LastNewsId%%>" + lastNewsId + "<%%/LastNewsId%%>\r\n";
        }
        util::ReplaceSettingsFile((folder_ / "dbsettings.dat").string(), plain);
    }

    // Runs the start-up check as the timer would, then waits until the client
    // is free again.
    void runStartUpCheck(TfrmMain& w) {
        w.LiveUpdateBaseURL = publisher_.baseUrl() + "/live/";
        w.Timer1Timer();
    }

    std::vector<std::string> targets() const {
        std::vector<std::string> paths;
        for (const auto& request : publisher_.requests()) {
            paths.push_back(request.target);
        }
        return paths;
    }

    demo::PublisherOptions options_;
    // How long the publisher takes to answer, so a request can be caught
    // while it waits.
    std::atomic<int> replyDelayMs_{0};
    demo::LoopbackServer publisher_{[this](const demo::HttpRequest& request) {
        std::this_thread::sleep_for(std::chrono::milliseconds(replyDelayMs_.load()));
        return demo::PublisherReply(request, options_);
    }};
};

TEST_F(PublisherWindowTest, StartUpCheckShowsTheHintAtTheNewsButtonForAnUnreadItem) {
    const std::string newest = demo::DemoNewsItems().front().id;
    const struct {
        const char* name;
        std::string stored;
        bool hint;
    } cases[] = {
        {.name = "nothing read yet", .stored = "", .hint = true},
        {.name = "an older item read",
         .stored = std::to_string(std::stoi(newest) - 1),
         .hint = true},
        {.name = "the newest read", .stored = newest, .hint = false},
        {.name = "a newer id stored",
         .stored = std::to_string(std::stoi(newest) + 1),
         .hint = false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeBrand(c.stored);
        TfrmMain& w = makeWindow();
        w.show();
        const std::size_t before = publisher_.requests().size();
        runStartUpCheck(w);
        app::MessageHint* hint = app::MessageHint::current();
        EXPECT_EQ(hint != nullptr, c.hint);
        if (hint != nullptr) {
            EXPECT_EQ(hint->text(), QString::fromStdString("You've Got A Message!\r\n" +
                                                           demo::DemoNewsItems().front().title));
            hint->close();
        }
        // The silent update check comes last whatever the news said; the
        // demo's descriptor offers 3.0 even then, and the offer is refused.
        const auto all = targets();
        ASSERT_EQ(all.size(), before + 2);
        EXPECT_EQ(all[before], "/news/getlastnews.php");
        EXPECT_EQ(all[before + 1], "/live/mainappupdate.inf");
        EXPECT_EQ(publisher::ReadLastNewsId((folder_ / "dbsettings.dat").string()), c.stored)
            << "the check never stores";
        msg_->clearShown();
    }
}

TEST_F(PublisherWindowTest, WithoutANewsTierOnlyTheUpdateCheckRuns) {
    writeBrand("", "Free");
    TfrmMain& w = makeWindow();
    w.show();
    runStartUpCheck(w);
    EXPECT_EQ(targets(), std::vector<std::string>{"/live/mainappupdate.inf"});
    EXPECT_EQ(app::MessageHint::current(), nullptr);
}

TEST_F(PublisherWindowTest, HintClosesAtTheNextClickAndANewOneReplacesIt) {
    TfrmMain& w = makeWindow();
    w.show();
    w.ShowMessageHint("You've Got A Message!\r\nfirst");
    QPointer<app::MessageHint> first = app::MessageHint::current();
    ASSERT_FALSE(first.isNull());
    EXPECT_EQ(first->anchor(),
              w.btnNews->mapToGlobal(QPoint(w.btnNews->width() / 2, w.btnNews->height() / 2)));
    w.ShowMessageHint("You've Got A Message!\r\nsecond");
    QApplication::processEvents();
    EXPECT_TRUE(first.isNull()) << "replaced";
    ASSERT_NE(app::MessageHint::current(), nullptr);
    EXPECT_EQ(app::MessageHint::current()->text(), "You've Got A Message!\r\nsecond");

    QPointer<app::MessageHint> second = app::MessageHint::current();
    QTest::mouseClick(w.btnDelAll, Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_TRUE(second.isNull());
    EXPECT_TRUE(msg_->shown().empty()) << "the click that closes the hint does nothing else";
    QTest::mouseClick(w.btnDelAll, Qt::LeftButton);
    EXPECT_EQ(msg_->texts(), std::vector<std::string>{"There are no items to delete."})
        << "the next click reaches its button";
}

TEST_F(PublisherWindowTest, NewsButtonOpensTheNewsWindowOrSaysThereIsNone) {
    writeBrand();
    TfrmMain& w = makeWindow();
    w.show();
    int rows = -1;
    QTimer::singleShot(0, &w, [&] {
        auto* news = qobject_cast<app::TfrmNews*>(QApplication::activeModalWidget());
        ASSERT_NE(news, nullptr);
        rows = news->lvwItems->topLevelItemCount();
        QTest::mouseClick(news->btnExit, Qt::LeftButton);
    });
    QTest::mouseClick(w.btnNews, Qt::LeftButton);
    EXPECT_EQ(rows, static_cast<int>(demo::DemoNewsItems().size()));
    EXPECT_EQ(w.NewsList.size(), demo::DemoNewsItems().size());
    EXPECT_TRUE(msg_->shown().empty());
    EXPECT_TRUE(w.btnNews->isEnabled());

    const std::string noNews(publisher::texts::kNoNews);
    const struct {
        const char* name;
        std::string type;
        std::string base;
        std::vector<std::string> texts;
    } cases[] = {
        {.name = "no news tier",
         .type = "Free",
         .base = publisher_.baseUrl() + "/news/",
         .texts = {noNews}},
        // One message for one failure: the error says it, "no news" after it
        // would contradict it.
        {.name = "an error reply",
         .type = "Master",
         .base = publisher_.baseUrl() + "/fail/INVALIDUSER/",
         .texts = {std::string(publisher::texts::kInvalidUser)}},
        {.name = "the news server unreachable",
         .type = "Master",
         .base = "http://127.0.0.1:" + std::to_string(testsupport::UnusedPort()) + "/news/",
         .texts = {std::string(publisher::texts::kNoReply)}},
        {.name = "an error reply the list request does not show",
         .type = "Master",
         .base = publisher_.baseUrl() + "/fail/INVALIDNEWS/",
         .texts = {noNews}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        util::ReplaceSettingsFile((folder_ / "dbsettings.dat").string(),
                                  Tag("BranderType", c.type) + Tag("MasterNewsBaseURL", c.base) +
                                      Tag("MasterPublID", std::string(demo::kDemoPublisherId)));
        TfrmMain& again = makeWindow();
        again.show();
        QTest::mouseClick(again.btnNews, Qt::LeftButton);
        EXPECT_EQ(msg_->texts(), c.texts);
        EXPECT_EQ(msg_->shown().back().kind, c.texts.front() == noNews
                                                 ? app::MessageDialog::Kind::Information
                                                 : app::MessageDialog::Kind::Warning);
        EXPECT_TRUE(again.NewsList.empty());
    }
}

// The hint says there is news: a click on it opens the news window as the
// News button does; a click elsewhere only closes it.
TEST_F(PublisherWindowTest, ClickOnTheHintOpensTheNewsWindow) {
    writeBrand();
    TfrmMain& w = makeWindow();
    w.show();
    w.Timer1->stop();
    w.ShowMessageHint("You've Got A Message!\r\nfirst");
    QPointer<app::MessageHint> hint = app::MessageHint::current();
    ASSERT_FALSE(hint.isNull());
    int rows = -1;
    QTimer close;
    QObject::connect(&close, &QTimer::timeout, [&] {
        if (auto* news = qobject_cast<app::TfrmNews*>(QApplication::activeModalWidget())) {
            rows = news->lvwItems->topLevelItemCount();
            news->reject();
        }
    });
    close.start(10);
    const std::size_t before = publisher_.requests().size();
    QTest::mouseClick(hint, Qt::LeftButton, {}, hint->rect().center());
    EXPECT_TRUE(QTest::qWaitFor([&] { return rows >= 0; }, 10000));
    EXPECT_TRUE(hint.isNull());
    EXPECT_EQ(rows, static_cast<int>(demo::DemoNewsItems().size()));
    EXPECT_EQ(targets().size(), before + 1);
    EXPECT_TRUE(msg_->shown().empty());
}

// A news item's links start the browser the way every other link of the
// window does: one that is no web address is refused with the status text.
TEST_F(PublisherWindowTest, NewsItemLinksStartTheBrowserAsTheWindowsOtherLinks) {
    BrowserScript browser(folder_.path());
    writeBrand();
    TfrmMain& w = makeWindow();
    w.show();
    w.Timer1->stop();
    std::vector<std::string> statuses;
    QTimer act;
    QObject::connect(&act, &QTimer::timeout, [&] {
        auto* news = qobject_cast<app::TfrmNews*>(QApplication::activeModalWidget());
        if (news == nullptr) {
            return;
        }
        act.stop();
        for (const char* link : {"file:///etc/passwd", "-dash-arg", ""}) {
            w.MainStatusPanel->setText("before");
            emit news->prfEditorNews->anchorClicked(QUrl(QString::fromLatin1(link)));
            statuses.push_back(w.MainStatusPanel->text().toStdString());
        }
        emit news->prfEditorNews->anchorClicked(QUrl("https://news.example/item?id=7"));
        news->reject();
    });
    act.start(10);
    QTest::mouseClick(w.btnNews, Qt::LeftButton);
    const std::string refused =
        "The URL is not an http or https address; it is not opened in the web browser.";
    EXPECT_EQ(statuses, (std::vector<std::string>{refused, refused, refused}));
    EXPECT_EQ(browser.nextStart(), std::vector<std::string>{"https://news.example/item?id=7"});
}

// Without an updater beside the program, the accepted offer asks whether to
// open the update folder: Yes starts the browser there, No does nothing;
// either way the window stays.
TEST_F(PublisherWindowTest, UpdateWithoutAnUpdaterOffersTheUpdateFolderInTheBrowser) {
    BrowserScript browser(folder_.path());
    for (const bool yes : {true, false}) {
        SCOPED_TRACE(yes ? "Yes" : "No");
        TfrmMain& w = makeWindow();
        w.show();
        w.LiveUpdateBaseURL = publisher_.baseUrl() + "/live/";
        msg_->answer(true);
        msg_->answer(yes);
        QTest::mouseClick(w.btnUpdate, Qt::LeftButton);
        ASSERT_EQ(msg_->shown().size(), 2u);
        EXPECT_EQ(msg_->shown()[1].kind, app::MessageDialog::Kind::Question);
        EXPECT_EQ(msg_->shown()[1].buttons, app::MessageDialog::Buttons::YesNo);
        EXPECT_EQ(msg_->texts()[1],
                  "The updater module is missing. The new version is in the update folder\n" +
                      w.LiveUpdateBaseURL +
                      "\nDo you want to open this address in your web browser?");
        EXPECT_TRUE(w.isVisible());
        if (yes) {
            EXPECT_EQ(browser.nextStart(), std::vector<std::string>{w.LiveUpdateBaseURL});
        }
        msg_->clearShown();
    }
    EXPECT_FALSE(fs::exists(folder_ / "opened")) << "No started nothing";
}

// The update button: the offer, the updater question and the hand-over.
TEST_F(PublisherWindowTest, UpdateButtonOffersTheUpdateAndStartsTheUpdater) {
    const fs::path record = folder_ / "updater-args";
    writeFile("Updater.exe", "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + record.string() + "'\n");
    fs::permissions(folder_ / "Updater.exe", fs::perms::owner_all);
    TfrmMain& w = makeWindow();
    w.show();
    w.LiveUpdateBaseURL = publisher_.baseUrl() + "/live/";
    msg_->answer(true);
    msg_->answer(true);
    QTest::mouseClick(w.btnUpdate, Qt::LeftButton);
    ASSERT_EQ(msg_->texts().size(), 2u);
    EXPECT_EQ(msg_->texts()[0],
              "There is a new update: (version 3.0) available for your application!. Do you "
              "want download this update now?");
    EXPECT_EQ(msg_->texts()[1], publisher::texts::kUpdateClose);
    EXPECT_FALSE(w.isVisible()) << "the window closes for the updater";
    EXPECT_TRUE(QTest::qWaitFor([&] { return fs::exists(record); }, 10000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return fs::file_size(record) > 0; }, 10000));
    EXPECT_EQ(testsupport::ReadFileBytes(record), w.LiveUpdateBaseURL + "\n2.0\nA\n");
}

// An update host nobody answers: the Update button says the check could not
// be made and why, in one warning; the start-up check says nothing at all.
TEST_F(PublisherWindowTest, UnreachableUpdateHostIsOneWarningWhenAskedAndSilenceAtStartUp) {
    const std::string base =
        "http://127.0.0.1:" + std::to_string(testsupport::UnusedPort()) + "/live/";
    TfrmMain& w = makeWindow();
    w.show();
    w.LiveUpdateBaseURL = base;
    QTest::mouseClick(w.btnUpdate, Qt::LeftButton);
    ASSERT_EQ(msg_->shown().size(), 1u);
    EXPECT_EQ(msg_->shown()[0].kind, app::MessageDialog::Kind::Warning);
    EXPECT_EQ(msg_->texts()[0], std::string(publisher::texts::kUpdateCheckFailed) + base +
                                    "mainappupdate.inf:\nSocket Error # 111 Connection refused");
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(w.btnUpdate->isEnabled());

    msg_->clearShown();
    writeBrand("", "Free");
    TfrmMain& again = makeWindow();
    again.show();
    again.LiveUpdateBaseURL = base;
    again.Timer1Timer();
    EXPECT_TRUE(msg_->shown().empty());
}

// While the client serves the start-up check, News and Update cannot start a
// second request, and a check falling due meanwhile waits its turn.
TEST_F(PublisherWindowTest, ButtonsWaitWhileTheClientIsBusy) {
    writeBrand();
    TfrmMain& w = makeWindow();
    w.show();
    replyDelayMs_ = 600;
    bool seenDisabled = false;
    bool rearmed = false;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (!w.IdHTTP1.busy()) {
            return;
        }
        seenDisabled = !w.btnNews->isEnabled() && !w.btnUpdate->isEnabled();
        w.Timer1Timer();
        rearmed = w.Timer1->isActive();
        probe.stop();
    });
    probe.start(0);
    runStartUpCheck(w);
    EXPECT_TRUE(seenDisabled);
    EXPECT_TRUE(rearmed);
    EXPECT_TRUE(w.btnNews->isEnabled());
    EXPECT_TRUE(w.btnUpdate->isEnabled());
    EXPECT_EQ(targets().size(), 2u) << "the nested check sent nothing";
}

// A news server that sends an error page holding "OK", or records whose id
// no setting could hold: no news, and the brand's file stays as it was.
TEST_F(PublisherWindowTest, NewsListWithoutRecordsThatParseIsNoNews) {
    const std::string bookedPage =
        "<html><head><title>Error</title></head><body>All rooms BOOKED^sorry</body></html>";
    const std::string hugeId(16 * 1024 * 1024 - 64, '1');
    for (const std::string& reply : {bookedPage, hugeId + "^Title^2026-01-01\xAFOK"}) {
        SCOPED_TRACE(reply.substr(0, 40));
        testsupport::ScriptedServer server({testsupport::Reply(
            testsupport::HttpResponse("HTTP/1.1 200 OK", reply, "Connection: close\r\n"))});
        util::ReplaceSettingsFile((folder_ / "dbsettings.dat").string(),
                                  Tag("BranderType", "Master") +
                                      Tag("MasterNewsBaseURL", server.url("/news/")) +
                                      Tag("MasterPublID", "pub"));
        const std::string brand = testsupport::ReadFileBytes(folder_ / "dbsettings.dat");
        TfrmMain& w = makeWindow();
        w.show();
        // A news window would wait for its user; close it and count it.
        bool opened = false;
        QTimer close;
        QObject::connect(&close, &QTimer::timeout, [&] {
            if (auto* news = qobject_cast<app::TfrmNews*>(QApplication::activeModalWidget())) {
                opened = true;
                news->reject();
            }
        });
        close.start(10);
        QTest::mouseClick(w.btnNews, Qt::LeftButton);
        EXPECT_FALSE(opened);
        EXPECT_EQ(msg_->texts(), std::vector<std::string>{std::string(publisher::texts::kNoNews)});
        EXPECT_EQ(testsupport::ReadFileBytes(folder_ / "dbsettings.dat"), brand);
        msg_->clearShown();
    }
}

// Every installed copy has a program folder the user cannot write. The
// silent start-up check then keeps its descriptor in the user's cache folder
// and shows nothing, not even the reason it could not write the folder.
TEST_F(WindowTest, SilentUpdateCheckInAReadOnlyProgramFolderShowsNothing) {
    if (::geteuid() == 0) {
        // Root writes into any folder: this test runs again as nobody, who
        // makes the folders of that run and cannot write the program folder.
        const passwd* nobody = ::getpwnam("nobody");
        ASSERT_NE(nobody, nullptr) << "the system has no user nobody";
        std::string setpriv;
        for (const char* candidate : {"/usr/bin/setpriv", "/bin/setpriv"}) {
            if (::access(candidate, X_OK) == 0) {
                setpriv = candidate;
                break;
            }
        }
        ASSERT_FALSE(setpriv.empty()) << "setpriv (util-linux) is missing";
        const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
        testsupport::ChildProcess child(
            {setpriv, "--reuid=" + std::to_string(nobody->pw_uid),
             "--regid=" + std::to_string(nobody->pw_gid), "--clear-groups", "--",
             fs::read_symlink("/proc/self/exe").string(),
             std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name()},
            {"HOME=/nonexistent", "XDG_RUNTIME_DIR="});
        EXPECT_EQ(child.Wait(120000), 0) << child.out() << child.err();
        EXPECT_NE(child.out().find("[  PASSED  ] 1 test"), std::string::npos) << child.out();
        return;
    }
    testsupport::TempDir cache("zorvane_app_cache");
    struct CacheVariable {
        explicit CacheVariable(const fs::path& folder) {
            ::setenv("XDG_CACHE_HOME", folder.c_str(), 1);
        }
        ~CacheVariable() { ::unsetenv("XDG_CACHE_HOME"); }
    } cacheVariable(cache.path());
    // Reports of the application's exception handling count as dialogs too.
    struct ReportTo {
        explicit ReportTo(app::MessageDialog* dialog) {
            static_cast<app::ZorvaneApplication&>(*QApplication::instance())
                .setReportDialog(dialog);
        }
        ~ReportTo() {
            static_cast<app::ZorvaneApplication&>(*QApplication::instance())
                .setReportDialog(nullptr);
        }
    };
    const std::string descriptor = "[APPLICATION]\r\nVersion=2.0\r\n";
    testsupport::ScriptedServer server({testsupport::Reply(
        testsupport::HttpResponse("HTTP/1.1 200 OK", descriptor, "Connection: close\r\n"))});
    TfrmMain& w = makeWindow();
    const ReportTo reportTo(msg_);
    w.show();
    w.LiveUpdateBaseURL = server.url("/liveupdate/zorvane/");
    fs::permissions(folder_.path(),
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    ASSERT_NE(::access(folder_.path().c_str(), W_OK), 0);
    app::Guarded([&] { w.Timer1Timer(); })();
    fs::permissions(folder_.path(), fs::perms::owner_write, fs::perm_options::add);
    EXPECT_TRUE(msg_->shown().empty()) << msg_->texts().front();
    EXPECT_EQ(server.connectionCount(), 1u);
    EXPECT_FALSE(fs::exists(folder_ / "mainappupdate.inf"));
    EXPECT_EQ(testsupport::ReadFileBytes(cache / "zorvane" / "mainappupdate.inf"), descriptor);
}

TEST(LiveUpdateBase, OnlyALoopbackAddressIsTakenFromTheEnvironment) {
    const std::pair<const char*, std::string> cases[] = {
        {nullptr, std::string(publisher::LiveUpdateBaseURL)},
        {"http://127.0.0.1:8080/live", "http://127.0.0.1:8080/live/"},
        {"http://127.0.0.1:8080/live/", "http://127.0.0.1:8080/live/"},
        {"http://evil.example/live/", std::string(publisher::LiveUpdateBaseURL)},
        {"http://127.0.0.1.evil.example/", std::string(publisher::LiveUpdateBaseURL)},
        {"http://127.0.0.1:80@evil.example/", std::string(publisher::LiveUpdateBaseURL)},
        {"http://127.0.0.1:/live/", std::string(publisher::LiveUpdateBaseURL)},
        {"", std::string(publisher::LiveUpdateBaseURL)},
    };
    for (const auto& [value, base] : cases) {
        if (value == nullptr) {
            ::unsetenv("ZORVANE_DEMO_LIVEUPDATE_URL");
        } else {
            ::setenv("ZORVANE_DEMO_LIVEUPDATE_URL", value, 1);
        }
        EXPECT_EQ(app::LiveUpdateBase(), base) << (value ? value : "unset");
    }
    ::unsetenv("ZORVANE_DEMO_LIVEUPDATE_URL");
}

}  // namespace

// The window with engine profiles: what a site line runs is shown on the
// line, a profile line harvests a real result page into the grid, and a
// broken profile file is named in the status bar while the window starts.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "app/result_list_model.h"
#include "tests/search/serp_pages.h"
#include "tools/demo_engine/loopback_server.h"
#include "window_fixture.h"

namespace {

class ProfileWindowTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        engine_.Start();
    }
    void TearDown() override {
        engine_.Stop();
        WindowTest::TearDown();
    }

    std::string loopback() const { return "127.0.0.1:" + std::to_string(engine_.port()); }

    // What the engine answers; a test may put another page here.
    std::string page_ = serp::ReadFile(ZORVANE_SERP_DATA "pages/bing-2022-dan-robitzski.html");
    demo::LoopbackServer engine_{[this](const demo::HttpRequest&) {
        demo::HttpReply reply;
        reply.contentType = "text/html; charset=utf-8";
        reply.body = page_;
        return reply;
    }};
};

TEST_F(ProfileWindowTest, TheSiteBoxSaysWhatEachLineRuns) {
    writeFile("sites.txt", "http://google@" + loopback() + "\r\nhttps://www.bing.com\r\n" +
                               "[google-web] https://www.google.com\r\nhttp://nothing.example\r\n");
    app::TfrmMain& window = makeWindow();
    const auto tip = [&window](int index) {
        return window.cbxSites->itemData(index, Qt::ToolTipRole).toString().toStdString();
    };
    EXPECT_NE(tip(0).find("google (built-in pass)"), std::string::npos) << tip(0);
    EXPECT_NE(tip(1).find("bing (profile)"), std::string::npos) << tip(1);
    EXPECT_NE(tip(2).find("google-web (profile)"), std::string::npos) << tip(2);
    EXPECT_EQ(tip(2).find("built-in"), std::string::npos) << tip(2);
    EXPECT_NE(tip(3).find("Runs nothing"), std::string::npos) << tip(3);
}

// A line naming bing lists the organic hits of a real Bing page, titles as
// anchors, in the grid's four columns.
TEST_F(ProfileWindowTest, AProfileLineHarvestsIntoTheGrid) {
    writeFile("sites.txt", "http://bing@" + loopback() + "\r\n");
    app::TfrmMain& window = makeWindow();
    window.Timer1->stop();
    window.edtKeyword->setText("Dan Robitzski");
    window.speMaxNum->setValue(10);
    window.btnSearch->click();
    const auto& rows = window.results().rows();
    ASSERT_EQ(rows.size(), 10u) << window.MainStatusPanel->text().toStdString();
    EXPECT_EQ(rows[0].pos, "1");
    EXPECT_EQ(rows[0].anchor, "Meet BV-1, the Newest COVID Variant To Be Terrified Of - Futurism");
    EXPECT_EQ(rows[0].url, "https://futurism.com/neoscope/meet-bv1-newest-covid-variant");
    EXPECT_EQ(rows[0].engineSite, "http://bing@" + loopback());
    EXPECT_EQ(engine_.requests().at(0).target, "/search?q=Dan+Robitzski&first=1");
}

// The settings file's language and region reach the profile's request; a
// value that could not go into a header counts as none.
TEST_F(ProfileWindowTest, TheSettingsLanguageAndRegionReachTheEngine) {
    const struct {
        const char* settings;
        const char* target;
        const char* acceptLanguage;
    } cases[] = {
        {.settings = "[search]\nlanguage=de\nregion=AT\n",
         .target = "/search?q=Dan+Robitzski&first=1&setlang=de&cc=AT",
         .acceptLanguage = "de-AT,de;q=0.9"},
        {.settings = "[search]\nlanguage=de DE\n",
         .target = "/search?q=Dan+Robitzski&first=1",
         .acceptLanguage = "en-US,en;q=0.9"},
    };
    writeFile("sites.txt", "http://bing@" + loopback() + "\r\n");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings);
        std::filesystem::create_directories(settingsFile().parent_path());
        std::ofstream(settingsFile(), std::ios::binary) << c.settings;
        app::TfrmMain& window = makeWindow();
        window.Timer1->stop();
        window.edtKeyword->setText("Dan Robitzski");
        window.speMaxNum->setValue(1);
        const std::size_t before = engine_.requests().size();
        window.btnSearch->click();
        ASSERT_GT(engine_.requests().size(), before);
        const demo::HttpRequest request = engine_.requests().at(before);
        EXPECT_EQ(request.target, c.target);
        EXPECT_EQ(request.header("Accept-Language"), c.acceptLanguage);
    }
}

// A page the pass cannot read (a real 2022 Google page for the built-in
// Google pass): the described status stays and a notice under it says so,
// cut like the status rather than widening the window; the next Search
// clears it, also one on a line that runs nothing.
TEST_F(ProfileWindowTest, APageThePassCannotReadIsNoticedUntilTheNextSearch) {
    const std::string google2022 =
        serp::ReadFile(ZORVANE_SERP_DATA "pages/google-2022-evan-colborne.html");
    const std::string bing = page_;
    writeFile("sites.txt", "http://google@" + loopback() + "\r\nhttp://nothing.example\r\n" +
                               "http://bing@" + loopback() + "\r\n");
    app::TfrmMain& window = makeWindow();
    window.Timer1->stop();
    window.show();
    const int width = window.width();
    window.edtKeyword->setText("Evan Colborne");
    // The Bing page offers a next link: the limit ends the pass on it.
    window.speMaxNum->setValue(10);
    const QString notice = QStringLiteral(
        "The page held no hits this pass can read: the engine may have changed its pages; an "
        "engine profile may serve.");
    const auto noticeShown = [&window] { return window.PageNoticePanel->isVisibleTo(&window); };
    EXPECT_FALSE(noticeShown());

    struct Step {
        const char* what;
        int line;
        std::string page;
        QString status;
        QString notice;
    } const steps[] = {
        {.what = "google line, 2022 page",
         .line = 0,
         .page = google2022,
         .status = QStringLiteral("Process completed sucessfull!"),
         .notice = notice},
        {.what = "a line that runs nothing",
         .line = 1,
         .page = google2022,
         .status = QStringLiteral("This site line runs no engine pass."),
         .notice = {}},
        {.what = "google line again",
         .line = 0,
         .page = google2022,
         .status = QStringLiteral("Process completed sucessfull!"),
         .notice = notice},
        {.what = "bing line, bing page",
         .line = 2,
         .page = bing,
         .status = QStringLiteral("Process completed sucessfull!"),
         .notice = {}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        page_ = step.page;
        window.cbxSites->setCurrentIndex(step.line);
        window.btnSearch->click();
        EXPECT_EQ(window.MainStatusPanel->text().toStdString(), step.status.toStdString());
        EXPECT_EQ(window.PageNoticePanel->text().toStdString(), step.notice.toStdString());
        EXPECT_EQ(noticeShown(), !step.notice.isEmpty());
        EXPECT_EQ(window.results().rows().empty(), step.line == 0 || step.line == 1);
        EXPECT_EQ(window.width(), width);
    }
}

// While a page is read the window keeps turning, and Escape ends the search
// there rather than once the page is read.
TEST_F(ProfileWindowTest, EscapeWhileAPageIsReadStopsTheSearch) {
    writeFile("engines.json", R"({"profiles": [{"name": "runaway", "select": "runaway",
        "path": "/search?q={query}", "hits": "//div[@class='hit'][count(//div) > 0]",
        "link": "a/@href", "title": "a"}]})");
    writeFile("sites.txt", "[runaway] http://" + loopback() + "\r\n");
    page_ = "<html><body>";
    for (int i = 0; i < 20000; ++i) {
        page_ += "<div class='hit'><a href='https://h.example/'>t</a></div>";
    }
    app::TfrmMain& window = makeWindow();
    window.Timer1->stop();
    window.edtKeyword->setText("x");
    bool pressed = false;
    auto* poll = new QTimer(&window);
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, poll, [&] {
        if (window.MainStatusPanel->text() == "Process completed sucessfull!") {
            poll->stop();
            pressed = true;
            QTest::keyClick(window.edtKeyword, Qt::Key_Escape);
        }
    });
    poll->start();
    window.btnSearch->click();

    EXPECT_TRUE(pressed);
    EXPECT_TRUE(window.StopRequested);
    EXPECT_TRUE(window.results().rows().empty());
    const std::string status = window.MainStatusPanel->text().toStdString();
    EXPECT_TRUE(status == "Process aborted by user." || status == "Proccess aborted by user.")
        << status;
}

TEST_F(ProfileWindowTest, ABrokenProfileFileIsNamedAndTheWindowStarts) {
    writeFile("engines.json", "{\"profiles\": [\n  {\"name\": \"bing\", \"hitz\": 1}\n]}");
    writeFile("sites.txt", "https://www.bing.com\r\n");
    app::TfrmMain& window = makeWindow();
    const std::string status = window.MainStatusPanel->text().toStdString();
    EXPECT_NE(status.find("engines.json"), std::string::npos) << status;
    EXPECT_NE(status.find("hitz"), std::string::npos) << status;
    // The built-in profiles are still there.
    const std::string tip = window.cbxSites->itemData(0, Qt::ToolTipRole).toString().toStdString();
    EXPECT_NE(tip.find("bing (profile)"), std::string::npos) << tip;
}

}  // namespace

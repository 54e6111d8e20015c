#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "app/result_list_model.h"
#include "tests/support/file_bytes.h"
#include "tools/demo_engine/demo_pages.h"
#include "tools/demo_engine/loopback_server.h"
#include "window_fixture.h"

namespace {

// The window's harvest against the demo engine on a loopback port, with the
// debug page copy kept in the test's own folder.
class SearchWindowTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        engine_.Start();
    }
    void TearDown() override {
        engine_.Stop();
        // No temporary page file may outlive its download.
        for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
            const std::string name = entry.path().filename().string();
            EXPECT_FALSE(name.starts_with("test") && name.ends_with(".html")) << name;
        }
        WindowTest::TearDown();
    }

    app::TfrmMain& windowWithSites(const std::vector<std::string>& engines) {
        std::string sites;
        for (const auto& name : engines) {
            sites += "http://" + name + "@127.0.0.1:" + std::to_string(engine_.port()) + "\r\n";
        }
        writeFile("sites.txt", sites);
        app::TfrmMain& window = makeWindow();
        window.EngineSettings.debugPageFile = folder_.string() + "/debug.html";
        return window;
    }

    // Runs `action` from the event loop of the search as soon as `ready`
    // holds: the way a user's click arrives in the middle of a download.
    void whenReady(std::function<bool()> ready, std::function<void()> action) {
        auto* poll = new QTimer(window_.get());
        poll->setInterval(10);
        QObject::connect(poll, &QTimer::timeout, poll, [poll, ready, action] {
            if (ready()) {
                poll->stop();
                action();
            }
        });
        poll->start();
    }

    static std::string text(const QLabel* label) { return label->text().toStdString(); }

    demo::LoopbackServer engine_{
        [](const demo::HttpRequest& r) { return demo::DemoReply(r, demo::kDefaultPageLimit); }};
};

TEST_F(SearchWindowTest, SearchHarvestsEveryPageIntoTheGrid) {
    app::TfrmMain& window = windowWithSites({"google"});
    window.edtKeyword->setText("cars&pages=2");
    window.btnSearch->click();

    const auto& rows = window.results().rows();
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(engine_.requests().size(), 2u);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].pos, std::to_string(i + 1));
        EXPECT_EQ(rows[i].engineSite, window.SiteText());
    }
    EXPECT_EQ(text(window.SecondStatusPanel), std::to_string(rows.size()) + " items");
    EXPECT_EQ(text(window.MainStatusPanel), "Process completed sucessfull!");
    EXPECT_EQ(window.MainGauge->value(), window.MainGauge->maximum());
}

TEST_F(SearchWindowTest, ItemLimitIsReadFromTheSpinEdit) {
    app::TfrmMain& window = windowWithSites({"google"});
    window.edtKeyword->setText("cars");
    window.speMaxNum->setValue(10);
    window.btnSearch->click();

    EXPECT_EQ(window.results().rows().size(), 10u);
    EXPECT_EQ(engine_.requests().size(), 1u);
    EXPECT_EQ(text(window.SecondStatusPanel), "10 items");
}

TEST_F(SearchWindowTest, StopDuringADownloadEndsTheRunAndSearchIsNotReentered) {
    app::TfrmMain& window = windowWithSites({"google"});
    // Page 1 sends half its body and then holds the connection open.
    window.edtKeyword->setText("cars&stall=1");
    whenReady([&] { return engine_.requests().size() == 2; },
              [&] {
                  window.btnSearch->click();  // ignored: a run is going on
                  window.btnStop->click();
              });
    window.btnSearch->click();

    EXPECT_TRUE(window.StopRequested);
    EXPECT_EQ(engine_.requests().size(), 2u);
    const std::string status = text(window.MainStatusPanel);
    EXPECT_TRUE(status == "Process aborted by user." || status == "Proccess aborted by user.")
        << status;
    // Only the first page's hits were listed; the stalled page gave none.
    const std::size_t firstPage = window.results().rows().size();
    EXPECT_GT(firstPage, 0u);

    // The next Search clears the flag and runs normally.
    window.edtKeyword->setText("cars&pages=1");
    window.btnSearch->click();
    EXPECT_FALSE(window.StopRequested);
    EXPECT_EQ(text(window.MainStatusPanel), "Process completed sucessfull!");
    EXPECT_EQ(window.results().rows().size(), firstPage);
}

TEST_F(SearchWindowTest, StopWithoutARunOnlySetsTheFlagAndTheText) {
    app::TfrmMain& window = windowWithSites({"google"});
    window.btnStop->click();
    EXPECT_TRUE(window.StopRequested);
    EXPECT_EQ(text(window.MainStatusPanel), "Proccess aborted by user.");
    EXPECT_TRUE(engine_.requests().empty());
}

TEST_F(SearchWindowTest, ClosingTheWindowEndsARunningSearch) {
    app::TfrmMain& window = windowWithSites({"google"});
    window.edtKeyword->setText("cars&stall=0");
    window.show();
    whenReady([&] { return engine_.requests().size() == 1; }, [&] { window.close(); });
    window.btnSearch->click();

    EXPECT_TRUE(window.StopRequested);
    EXPECT_TRUE(window.results().rows().empty());
    EXPECT_EQ(engine_.requests().size(), 1u);
}

TEST_F(SearchWindowTest, ExportWritesEveryRowAfterTheHeader) {
    app::TfrmMain& window = makeWindow();
    window.results().appendRow({"1", "Say \"hi\", world", "http://a.example", "site"});
    window.results().appendRow({"2", "b", "http://b.example", "site"});
    const std::string path = folder_.string() + "/out";
    save_->answer(path);
    window.btnExportAll->click();

    ASSERT_EQ(save_->asked().size(), 1u);
    EXPECT_EQ(save_->asked()[0].title, "Export all data");
    EXPECT_EQ(save_->asked()[0].filter, "Comma delimited (*.csv)|*.csv");
    EXPECT_EQ(testsupport::ReadFileBytes(path + ".csv"),
              "\"Pos\",\"Anchor\",\"URL\",\"Engine Site\"\r\n"
              "\"1\",\"Say \"\"hi\"\", world\",\"http://a.example\",\"site\"\r\n"
              "\"2\",\"b\",\"http://b.example\",\"site\"\r\n");
    EXPECT_TRUE(msg_->shown().empty());
}

TEST_F(SearchWindowTest, ExportCancelledOrFailingKeepsTheRows) {
    app::TfrmMain& window = makeWindow();
    window.results().appendRow({"1", "a", "http://a.example", "site"});

    save_->answer(std::nullopt);
    window.btnExportAll->click();
    EXPECT_TRUE(msg_->shown().empty());

    const std::string path = folder_.string() + "/missing/out.csv";
    save_->answer(path);
    window.btnExportAll->click();
    ASSERT_EQ(msg_->texts().size(), 1u);
    EXPECT_NE(msg_->texts()[0].find(path), std::string::npos) << msg_->texts()[0];
    EXPECT_EQ(window.results().rows().size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace

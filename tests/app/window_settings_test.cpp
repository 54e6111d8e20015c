#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/result_list_model.h"
#include "tests/support/file_bytes.h"
#include "window_fixture.h"

namespace {

namespace fs = std::filesystem;

class WindowSettingsTest : public WindowTest {
protected:
    void SetUp() override {
        writeFile("sites.txt",
                  "http://google@a.example\r\nhttp://yahoo@b.example\r\n"
                  "http://live@c.example\r\n");
    }

    app::TfrmMain& windowWithRows(int count) {
        app::TfrmMain& w = makeWindow();
        w.show();
        for (int i = 1; i <= count; ++i) {
            w.results().appendRow({std::to_string(i), "a", "http://x/", "s"});
        }
        return w;
    }

    static void writeSettings(const std::string& bytes) {
        fs::create_directories(settingsFile().parent_path());
        std::ofstream(settingsFile(), std::ios::binary) << bytes;
    }

    // What a window with no settings at all shows.
    static void expectDesigned(app::TfrmMain& w) {
        EXPECT_EQ(w.edtKeyword->text(), "");
        EXPECT_EQ(w.speMaxNum->value(), 0);
        EXPECT_EQ(w.cbxSites->currentIndex(), 0);
        EXPECT_EQ(w.size(), QSize(app::TfrmMain::kClientWidth, app::TfrmMain::kClientHeight));
        for (int column = 0; column < 4; ++column) {
            EXPECT_EQ(w.lvwResults->columnWidth(column),
                      app::TfrmMain::kDesignedColumnWidths[column])
                << column;
        }
    }
};

TEST_F(WindowSettingsTest, TheNextWindowStartsAsTheLastOneClosed) {
    app::TfrmMain& first = makeWindow();
    first.show();
    first.edtKeyword->setText(QStringLiteral("Caf\u00e9, cr\u00e8me"));
    first.speMaxNum->setValue(250);
    first.cbxSites->setCurrentIndex(2);
    first.resize(1000, 640);
    QApplication::processEvents();
    first.lvwResults->horizontalHeader()->resizeSection(app::ResultListModel::ColPos, 120);
    fs::create_directory(folder_ / "exports");
    first.results().appendRow({"1", "a", "http://x/", "s"});
    save_->answer((folder_ / "exports/a.csv").string());
    first.btnExportAll->click();
    ASSERT_TRUE(first.close());
    EXPECT_TRUE(msg_->shown().empty()) << "the rows were exported";

    app::TfrmMain& second = makeWindow();
    EXPECT_EQ(second.edtKeyword->text(), QStringLiteral("Caf\u00e9, cr\u00e8me"));
    EXPECT_EQ(second.speMaxNum->value(), 250);
    EXPECT_EQ(second.cbxSites->currentText(), "http://live@c.example");
    EXPECT_EQ(second.siteText(), "http://live@c.example");
    EXPECT_EQ(second.size(), QSize(1000, 640));
    EXPECT_EQ(second.lvwResults->columnWidth(app::ResultListModel::ColPos), 120);
    second.results().appendRow({"1", "a", "http://x/", "s"});
    second.btnExportAll->click();
    EXPECT_EQ(QFileInfo(QString::fromStdString(save_->asked().back().suggestedPath)).path(),
              QString::fromStdString((folder_ / "exports").string()));

    // An INI file in the program's configuration folder, the one of
    // engines.json and the user's sites.txt; the program's folder holds
    // nothing new.
    EXPECT_TRUE(fs::is_regular_file(settingsFile()));
    EXPECT_EQ(settingsFile(), config_ / "zorvane/zorvane.ini");
    std::vector<std::string> programFiles;
    for (const auto& entry : fs::directory_iterator(folder_.path())) {
        programFiles.push_back(entry.path().filename().string());
    }
    std::sort(programFiles.begin(), programFiles.end());
    EXPECT_EQ(programFiles, (std::vector<std::string>{"exports", "sites.txt"}));
}

// Earlier versions kept the settings in a folder of their own
// (<configuration home>/Zorvane/). Until the window has stored anything in
// the new place it reads them there; the first store carries them over, and
// the old file stays as it was.
TEST_F(WindowSettingsTest, TheOldPlaceIsReadUntilTheFirstStore) {
    const fs::path old = config_ / "Zorvane/zorvane.ini";
    const std::string oldText =
        "[search]\nkeyword=from before\nmaxItems=7\nsite=http://yahoo@b.example\n"
        "[close]\ndiscardWithoutAsking=true\n";
    fs::create_directories(old.parent_path());
    std::ofstream(old, std::ios::binary) << oldText;

    app::TfrmMain& first = makeWindow();
    EXPECT_EQ(first.edtKeyword->text(), "from before");
    EXPECT_EQ(first.speMaxNum->value(), 7);
    EXPECT_EQ(first.cbxSites->currentText(), "http://yahoo@b.example");
    EXPECT_FALSE(fs::exists(settingsFile()));
    first.show();
    first.edtKeyword->setText("now");
    // Rows never exported: the old file's answer closes without asking.
    first.results().appendRow({"1", "a", "http://x/", "s"});
    ASSERT_TRUE(first.close());
    EXPECT_TRUE(msg_->shown().empty());
    EXPECT_TRUE(fs::is_regular_file(settingsFile()));
    EXPECT_EQ(testsupport::ReadFileBytes(old), oldText);

    // The old file is not read again, whatever it says now.
    std::ofstream(old, std::ios::binary | std::ios::trunc) << "[search]\nkeyword=elsewhere\n";
    app::TfrmMain& second = makeWindow();
    EXPECT_EQ(second.edtKeyword->text(), "now");
    EXPECT_EQ(second.speMaxNum->value(), 7);
    EXPECT_EQ(second.cbxSites->currentText(), "http://yahoo@b.example");
    EXPECT_TRUE(app::ReadUserSettings().closeWithoutAsking);
}

// A store of one value (the close question's answer) before any close
// carries the old file's other values over with it.
TEST_F(WindowSettingsTest, TheFirstStoreOfOneValueKeepsTheOldOnes) {
    const fs::path old = config_ / "Zorvane/zorvane.ini";
    fs::create_directories(old.parent_path());
    std::ofstream(old, std::ios::binary) << "[search]\nkeyword=from before\n";
    app::WriteUserSettings({{app::settings_keys::kCloseWithoutAsking, true}});
    fs::remove(old);
    const app::RememberedSettings remembered = app::ReadUserSettings();
    EXPECT_EQ(remembered.keyword, "from before");
    EXPECT_TRUE(remembered.closeWithoutAsking);
}

// Read from a file as another run left it (or a user edited it).
TEST_F(WindowSettingsTest, ASiteLineNoLongerListedLeavesTheFirstChosen) {
    writeSettings(
        "[search]\nsite=http://gone@z.example\nkeyword=cars\nmaxItems=42\n"
        "[close]\ndiscardWithoutAsking=true\n");
    app::TfrmMain& w = makeWindow();
    EXPECT_EQ(w.cbxSites->currentIndex(), 0);
    EXPECT_EQ(w.edtKeyword->text(), "cars");
    EXPECT_EQ(w.speMaxNum->value(), 42);
    w.show();
    w.results().appendRow({"1", "a", "http://x/", "s"});
    EXPECT_TRUE(w.close());
    EXPECT_TRUE(msg_->shown().empty());
}

// A settings file the window cannot trust is ignored as a whole, the window
// starts as designed, and the next close writes a sound one.
TEST_F(WindowSettingsTest, ADamagedSettingsFileIsIgnored) {
    const std::string good = "[search]\nkeyword=remembered\n";
    const struct {
        const char* name;
        std::function<void()> damage;
    } cases[] = {
        {.name = "a line that is no key and value",
         .damage = [&] { writeSettings(good + "maxItems\n"); }},
        {.name = "a section header without its end",
         .damage = [&] { writeSettings("[search\nkeyword=remembered\n"); }},
        {.name = "binary noise",
         .damage =
             [] {
                 std::string noise;
                 for (int i = 0; i < 4096; ++i) {
                     noise.push_back(static_cast<char>((i * 131 + 7) % 256));
                 }
                 writeSettings(noise);
             }},
        {.name = "larger than any settings file of ours",
         .damage = [&] { writeSettings(good + "[padding]\n" + std::string(70000, '#') + "\n"); }},
        {.name = "a folder in the file's place",
         .damage = [] { fs::create_directories(settingsFile()); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(settingsFile());
        c.damage();
        app::TfrmMain& w = makeWindow();
        expectDesigned(w);
        EXPECT_TRUE(msg_->shown().empty());

        w.edtKeyword->setText("fresh");
        EXPECT_TRUE(w.close());
        if (!fs::is_directory(settingsFile())) {
            EXPECT_EQ(makeWindow().edtKeyword->text(), "fresh");
        }
    }
}

// Each value of the wrong kind or beyond reason counts as missing; the
// sound ones next to it still count.
TEST_F(WindowSettingsTest, AValueOfTheWrongKindIsIgnoredAlone) {
    const struct {
        const char* name;
        std::string settings;
    } cases[] = {
        {.name = "negative count", .settings = "[search]\nmaxItems=-5\n"},
        {.name = "count that is no number", .settings = "[search]\nmaxItems=12abc\n"},
        {.name = "count beyond int", .settings = "[search]\nmaxItems=99999999999\n"},
        {.name = "keyword as a list", .settings = "[search]\nkeyword=a, b\n"},
        {.name = "geometry that is no geometry",
         .settings = "[window]\ngeometry=@ByteArray(garbage)\n"},
        {.name = "too few column widths", .settings = "[window]\ncolumnWidths=100, 100\n"},
        {.name = "an absurd column width",
         .settings = "[window]\ncolumnWidths=80, 999999, 200, 150\n"},
        {.name = "a column width of nothing",
         .settings = "[window]\ncolumnWidths=80, 0, 200, 150\n"},
        {.name = "a flag that is neither", .settings = "[close]\ndiscardWithoutAsking=maybe\n"},
    };
    const std::string exports = (folder_ / "exports").string();
    fs::create_directory(exports);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeSettings(c.settings + "[export]\nfolder=" + exports + "\n");
        app::TfrmMain& w = makeWindow();
        expectDesigned(w);
        w.show();
        w.results().appendRow({"1", "a", "http://x/", "s"});
        w.btnExportAll->click();
        EXPECT_EQ(QFileInfo(QString::fromStdString(save_->asked().back().suggestedPath)).path(),
                  QString::fromStdString(exports));
        // Asking before unexported rows go is still on.
        msg_->answer(true);
        EXPECT_TRUE(w.close());
        EXPECT_EQ(msg_->shown().size(), 1u);
        fs::remove(settingsFile());
    }
}

TEST_F(WindowSettingsTest, ClosingAsksOnlyWhenUnexportedRowsWouldGo) {
    const std::string csv = (folder_ / "out.csv").string();
    const struct {
        const char* name;
        int rows;
        std::function<void(app::TfrmMain&)> before;  // before closing
        bool asks;
    } cases[] = {
        {.name = "an empty grid", .rows = 0, .before = [](app::TfrmMain&) {}, .asks = false},
        {.name = "rows never exported", .rows = 3, .before = [](app::TfrmMain&) {}, .asks = true},
        {.name = "rows exported",
         .rows = 3,
         .before =
             [&](app::TfrmMain& w) {
                 save_->answer(csv);
                 w.btnExportAll->click();
             },
         .asks = false},
        {.name = "a row deleted after the export",
         .rows = 3,
         .before =
             [&](app::TfrmMain& w) {
                 save_->answer(csv);
                 w.btnExportAll->click();
                 w.lvwResults->selectRow(0);
                 msg_->answer(true);
                 w.btnDelSel->click();
                 msg_->clearShown();
             },
         .asks = true},
        {.name = "a row harvested after the export",
         .rows = 3,
         .before =
             [&](app::TfrmMain& w) {
                 save_->answer(csv);
                 w.btnExportAll->click();
                 w.results().appendRow({"4", "a", "http://x/", "s"});
             },
         .asks = true},
        {.name = "a failed export",
         .rows = 3,
         .before =
             [&](app::TfrmMain& w) {
                 save_->answer((folder_ / "missing/out.csv").string());
                 w.btnExportAll->click();
                 msg_->clearShown();
             },
         .asks = true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // No refuses, and the window stays with its rows.
        app::TfrmMain& refused = windowWithRows(c.rows);
        c.before(refused);
        msg_->answer(false);
        EXPECT_EQ(refused.close(), !c.asks);
        EXPECT_EQ(refused.isVisible(), c.asks);
        EXPECT_EQ(refused.StopRequested, !c.asks);
        if (c.asks) {
            ASSERT_EQ(msg_->shown().size(), 1u);
            const auto& question = msg_->shown()[0];
            const int left = refused.results().rowCount();
            EXPECT_EQ(question.text, "Close and discard " + std::to_string(left) +
                                         (left == 1 ? " row?" : " rows?"));
            EXPECT_EQ(question.kind, app::MessageDialog::Kind::Question);
            EXPECT_EQ(question.buttons, app::MessageDialog::Buttons::YesNo);
            EXPECT_EQ(question.checkBoxText, "Don't ask again");

            msg_->answer(true);
            EXPECT_TRUE(refused.close());
            EXPECT_TRUE(refused.StopRequested);
        } else {
            EXPECT_TRUE(msg_->shown().empty());
        }
    }
}

TEST_F(WindowSettingsTest, DontAskAgainIsRememberedWithYesOnly) {
    // Checked with No: the window stays and the next close asks again.
    app::TfrmMain& first = windowWithRows(2);
    msg_->answer(false, true);
    EXPECT_FALSE(first.close());
    msg_->answer(true, false);
    EXPECT_TRUE(first.close());
    app::TfrmMain& second = windowWithRows(2);
    msg_->answer(true, true);
    EXPECT_TRUE(second.close());
    EXPECT_EQ(msg_->shown().size(), 1u);

    // From now on rows go without a question, in this window and the next.
    app::TfrmMain& third = windowWithRows(5);
    EXPECT_TRUE(third.close());
    EXPECT_TRUE(msg_->shown().empty());
}

}  // namespace

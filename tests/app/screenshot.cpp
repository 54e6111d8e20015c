#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFont>
#include <QLineEdit>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "app/f_about.h"
#include "app/f_main.h"
#include "app/f_news.h"
#include "app/history_window.h"
#include "app/message_hint.h"
#include "app/user_settings.h"
#include "app/zorvane_application.h"
#include "gif_writer.h"
#include "tests/support/temp_dir.h"
#include "tools/demo_engine/demo_pages.h"
#include "tools/demo_engine/loopback_server.h"
#include "tools/demo_publisher/demo_news.h"
#include "util/settings_file.h"
#include "util/utc_clock.h"

// The pictures in the README, drawn from the real windows:
//   zorvane_screenshot main FILE.png
//       the main window after a harvest of the demo engine, unbranded;
//   zorvane_screenshot branded FOLDER PREFIX
//       a copy of the branded program folder FOLDER: PREFIX-welcome.png,
//       PREFIX-main.png (after a harvest) and PREFIX-about.png;
//   zorvane_screenshot publisher FOLDER PREFIX
//       the same folder with its news tier pointed at the demo publisher:
//       PREFIX-hint.png (the start-up news hint), PREFIX-news.png (the news
//       window with an item read) and PREFIX-update.png (the update offer);
//   zorvane_screenshot banner FILE.gif
//       the animated banner of the sample brand;
//   zorvane_screenshot history FOLDER FILE.png
//       the History window after three searches on three days, the demo
//       engine's lists shuffled by day; the history is kept in
//       FOLDER/zorvane/history.sqlite3, for zorvane-history to read
//       (XDG_DATA_HOME=FOLDER).
// The demo engine runs on a loopback port and a sites.txt pointing at it is
// written into a temporary copy of the folder.
namespace {

namespace fs = std::filesystem;

bool Save(QWidget& widget, const std::string& file) {
    QApplication::processEvents();
    if (!widget.grab().save(QString::fromLocal8Bit(file.c_str()), "PNG")) {
        std::fprintf(stderr, "zorvane_screenshot: cannot write %s\n", file.c_str());
        return false;
    }
    return true;
}

// Lets the X server map and paint new windows before the screen is read.
void Settle() {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 400) {
        QApplication::processEvents();
    }
}

// The screen where the window stands, so that pop-ups over it show too.
bool SaveScreen(const QWidget& frame, const std::string& file) {
    Settle();
    const QRect area = frame.frameGeometry();
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(),
                                                                      area.width(), area.height());
    if (!shot.save(QString::fromLocal8Bit(file.c_str()), "PNG")) {
        std::fprintf(stderr, "zorvane_screenshot: cannot write %s\n", file.c_str());
        return false;
    }
    return true;
}

// The start-up hint, the news window with an item read, and the update
// offer, each from the real window against the demo publisher.
bool PublisherShots(app::TfrmMain& frmMain, const std::string& publisherUrl,
                    const std::string& prefix) {
    if (frmMain.bsSkinButton1 != nullptr) {
        frmMain.bsSkinButton1->click();
    }
    frmMain.Timer1->stop();
    // The start-up check finds no update here, so the hint stands alone.
    frmMain.LiveUpdateBaseURL = publisherUrl + "/fail/500/";
    frmMain.Timer1Timer();
    bool saved = SaveScreen(frmMain, prefix + "-hint.png");
    if (app::MessageHint* hint = app::MessageHint::current()) {
        hint->close();
    }

    // Each modal window is handled once it is up: the requests before it
    // also run the event loop.
    const auto whenModal = [&](auto handle) {
        auto* poll = new QTimer(&frmMain);
        QObject::connect(poll, &QTimer::timeout, [poll, handle] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                poll->stop();
                poll->deleteLater();
                handle(modal);
            }
        });
        poll->start(50);
    };
    whenModal([&](QWidget* modal) {
        auto* news = qobject_cast<app::TfrmNews*>(modal);
        if (news == nullptr) {
            saved = false;
            modal->close();
            return;
        }
        news->lvwItems->setCurrentItem(news->lvwItems->topLevelItem(1));
        saved = SaveScreen(*news, prefix + "-news.png") && saved;
        news->btnExit->click();
    });
    frmMain.btnNews->click();

    frmMain.LiveUpdateBaseURL = publisherUrl + "/live/";
    whenModal([&](QWidget* offer) {
        saved = SaveScreen(frmMain, prefix + "-update.png") && saved;
        offer->close();
    });
    frmMain.btnUpdate->click();
    return saved;
}

// Three runs of a keyword on three days, then the History window with two
// followed domains and the best other ones.
bool HistoryShot(app::TfrmMain& frmMain, const std::string& file) {
    frmMain.edtKeyword->setText(QStringLiteral("used cars"));
    frmMain.speMaxNum->setValue(30);
    for (const char* day :
         {"2026-01-02T08:00:00Z", "2026-01-03T08:00:00Z", "2026-01-04T08:00:00Z"}) {
        ::setenv("ZORVANE_NOW", day, 1);
        frmMain.btnSearch->click();
    }
    app::WriteUserSettings(
        {{app::settings_keys::kTrackedDomains, QStringList{"site4.example", "site9.example"}}});
    frmMain.btnHistory->click();
    app::HistoryWindow& history = *frmMain.frmHistory();
    history.chkCompetitors->setChecked(true);
    history.resize(1200, 800);
    Settle();
    return Save(history, file);
}

void Harvest(app::TfrmMain& frmMain) {
    frmMain.edtKeyword->setText(QStringLiteral("used cars"));
    frmMain.speMaxNum->setValue(40);
    frmMain.btnSearch->click();
    QApplication::processEvents();
}

// A 468 x 60 banner whose light sweeps across its text in eight frames.
QByteArray SampleBanner() {
    QList<QImage> frames;
    constexpr int kFrames = 8;
    for (int frame = 0; frame < kFrames; ++frame) {
        QImage image(468, 60, QImage::Format_RGB32);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        QLinearGradient background(0, 0, 468, 0);
        background.setColorAt(0, QColor(0x16, 0x3a, 0x8a));
        background.setColorAt(1, QColor(0x2f, 0x6f, 0xde));
        painter.fillRect(image.rect(), background);
        const double sweep = -80 + frame * (468 + 160) / double(kFrames);
        QLinearGradient light(sweep, 0, sweep + 80, 0);
        light.setColorAt(0, QColor(255, 255, 255, 0));
        light.setColorAt(0.5, QColor(255, 255, 255, 70));
        light.setColorAt(1, QColor(255, 255, 255, 0));
        painter.fillRect(image.rect(), light);
        QFont title(QStringLiteral("DejaVu Sans"), 15, QFont::Bold);
        painter.setFont(title);
        painter.setPen(Qt::white);
        painter.drawText(QRect(16, 6, 440, 28), Qt::AlignLeft | Qt::AlignVCenter,
                         QStringLiteral("Example Finder Pro"));
        painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 9));
        painter.setPen(QColor(0xdc, 0xe6, 0xfa));
        painter.drawText(QRect(16, 32, 440, 20), Qt::AlignLeft | Qt::AlignVCenter,
                         QStringLiteral("Every result, every engine, one click to CSV."));
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0xff, 0xc8, 0x3d));
        painter.drawRoundedRect(QRectF(360, 17, 92, 26), 13, 13);
        painter.setPen(QColor(0x16, 0x3a, 0x8a));
        painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 9, QFont::Bold));
        painter.drawText(QRect(360, 17, 92, 26), Qt::AlignCenter, QStringLiteral("Try it free"));
        frames << image;
    }
    return testsupport::WriteAnimatedGif(frames, 12);
}

}  // namespace

int main(int argc, char** argv) {
    const bool plain = argc == 3 && std::strcmp(argv[1], "main") == 0;
    const bool branded = argc == 4 && std::strcmp(argv[1], "branded") == 0;
    const bool banner = argc == 3 && std::strcmp(argv[1], "banner") == 0;
    const bool news = argc == 4 && std::strcmp(argv[1], "publisher") == 0;
    const bool history = argc == 4 && std::strcmp(argv[1], "history") == 0;
    if (!plain && !branded && !banner && !news && !history) {
        std::fprintf(stderr,
                     "usage: zorvane_screenshot main FILE.png\n"
                     "       zorvane_screenshot branded FOLDER PREFIX\n"
                     "       zorvane_screenshot publisher FOLDER PREFIX\n"
                     "       zorvane_screenshot banner FILE.gif\n"
                     "       zorvane_screenshot history FOLDER FILE.png\n");
        return 2;
    }
    // The pictures show the window as designed, not as this user left it,
    // and the shots leave the user's settings and history alone.
    const testsupport::TempDir config("zorvane_screenshot_config");
    ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    const testsupport::TempDir data("zorvane_screenshot_data");
    // Only an absolute data home counts.
    ::setenv("XDG_DATA_HOME", (history ? fs::absolute(argv[2]) : data.path()).c_str(), 1);
    app::ZorvaneApplication application(argc, argv);
    if (banner) {
        std::ofstream out(argv[2], std::ios::binary);
        const QByteArray gif = SampleBanner();
        out.write(gif.constData(), gif.size());
        return out.good() ? 0 : 1;
    }

    // Each day's lists shuffled for the history; the others as ever.
    demo::LoopbackServer engine([history](const demo::HttpRequest& r) {
        constexpr util::UtcSeconds kDay = 24 * 60 * 60;
        constexpr std::uint64_t kSeed = 7;
        return demo::DemoReply(
            r, demo::kDefaultPageLimit,
            history ? std::optional(demo::DemoShuffle{.seed = kSeed, .day = util::UtcNow() / kDay})
                    : std::nullopt);
    });
    engine.Start();
    const demo::PublisherOptions publisherOptions;
    demo::LoopbackServer publisher([&publisherOptions](const demo::HttpRequest& r) {
        return demo::PublisherReply(r, publisherOptions);
    });
    publisher.Start();
    const testsupport::TempDir folder("zorvane_screenshot");
    if (branded || news) {
        fs::copy(argv[2], folder.path(), fs::copy_options::recursive);
    }
    if (news) {
        const std::string settings = (folder / "dbsettings.dat").string();
        util::ReplaceSettingsFile(
            settings,
            "<%%ApplicationName%%>Example Finder Pro<%%/ApplicationName%%>\r\n"
            "<%%BranderCode%%>EXF<%%/BranderCode%%>\r\n"
            "<%%BranderType%%>Master<%%/BranderType%%>\r\n"
            "<%%MasterNewsBaseURL%%>" +
                publisher.baseUrl() +
                "/news/<%%/MasterNewsBaseURL%%>\r\n"
                "<%%MasterPublID%%>demo<%%/MasterPublID%%>\r\n"
                "<%%Banner1%%>finder-banner.gif^<%%/Banner1%%>\r\n"
                "<%%Link1%%>Example Finder Home^http://www.example.com/<%%/Link1%%>\r\n");
    }
    std::ofstream(folder / "sites.txt", std::ios::binary)
        << "http://google@127.0.0.1:" << engine.port() << "\r\n";

    bool saved = true;
    {
        app::TfrmMain frmMain(folder.pathWithSlash());
        frmMain.show();
        if (plain) {
            Harvest(frmMain);
            saved = Save(frmMain, argv[2]);
        } else if (history) {
            saved = HistoryShot(frmMain, argv[3]);
        } else if (news) {
            saved = PublisherShots(frmMain, publisher.baseUrl(), argv[3]);
        } else {
            const std::string prefix = argv[3];
            saved = Save(frmMain, prefix + "-welcome.png");
            if (frmMain.bsSkinButton1 != nullptr) {
                frmMain.bsSkinButton1->click();
            }
            Harvest(frmMain);
            saved = Save(frmMain, prefix + "-main.png") && saved;
            app::TfrmAbout frmAbout(frmMain.BrandingSettings, &frmMain);
            frmAbout.show();
            saved = Save(frmAbout, prefix + "-about.png") && saved;
        }
    }
    return saved ? 0 : 1;
}

#include <QApplication>
#include <QFont>
#include <QLineEdit>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSpinBox>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "app/f_about.h"
#include "app/f_main.h"
#include "app/zorvane_application.h"
#include "gif_writer.h"
#include "tools/demo_engine/demo_pages.h"
#include "tools/demo_engine/loopback_server.h"

// The pictures in the README, drawn from the real windows:
//   zorvane_screenshot main FILE.png
//       the main window after a harvest of the demo engine, unbranded;
//   zorvane_screenshot branded FOLDER PREFIX
//       a copy of the branded program folder FOLDER: PREFIX-welcome.png,
//       PREFIX-main.png (after a harvest) and PREFIX-about.png;
//   zorvane_screenshot banner FILE.gif
//       the animated banner of the sample brand.
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
    if (!plain && !branded && !banner) {
        std::fprintf(stderr,
                     "usage: zorvane_screenshot main FILE.png\n"
                     "       zorvane_screenshot branded FOLDER PREFIX\n"
                     "       zorvane_screenshot banner FILE.gif\n");
        return 2;
    }
    app::ZorvaneApplication application(argc, argv);
    if (banner) {
        std::ofstream out(argv[2], std::ios::binary);
        const QByteArray gif = SampleBanner();
        out.write(gif.constData(), gif.size());
        return out.good() ? 0 : 1;
    }

    demo::LoopbackServer engine(
        [](const demo::HttpRequest& r) { return demo::DemoReply(r, demo::kDefaultPageLimit); });
    engine.Start();
    const auto folder = fs::temp_directory_path() / "zorvane_screenshot";
    fs::remove_all(folder);
    if (branded) {
        fs::copy(argv[2], folder, fs::copy_options::recursive);
    }
    fs::create_directories(folder);
    std::ofstream(folder / "sites.txt", std::ios::binary)
        << "http://google@127.0.0.1:" << engine.port() << "\r\n";

    bool saved = true;
    {
        app::TfrmMain frmMain(folder.string() + "/");
        frmMain.show();
        if (plain) {
            Harvest(frmMain);
            saved = Save(frmMain, argv[2]);
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
    fs::remove_all(folder);
    return saved ? 0 : 1;
}

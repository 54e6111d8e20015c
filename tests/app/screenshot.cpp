#include <QApplication>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QSpinBox>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "app/f_main.h"
#include "app/zorvane_application.h"
#include "tools/demo_engine/demo_pages.h"
#include "tools/demo_engine/loopback_server.h"

// Draws the main window after a real harvest of the demo engine and saves it
// as a PNG, for the picture in the README. The demo engine runs on a loopback
// port and a sites.txt pointing at it is written into a temporary folder.
int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: zorvane_screenshot <file.png>\n");
        return 2;
    }
    app::ZorvaneApplication application(argc, argv);
    demo::LoopbackServer engine(
        [](const demo::HttpRequest& r) { return demo::DemoReply(r, demo::kDefaultPageLimit); });
    engine.Start();

    const auto folder = std::filesystem::temp_directory_path() / "zorvane_screenshot";
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "sites.txt", std::ios::binary)
        << "http://google@127.0.0.1:" << engine.port() << "\r\n";

    int result = 0;
    {
        app::TfrmMain frmMain(folder.string() + "/");
        frmMain.show();
        frmMain.edtKeyword->setText(QStringLiteral("used cars"));
        frmMain.speMaxNum->setValue(40);
        frmMain.btnSearch->click();
        QApplication::processEvents();
        if (!frmMain.grab().save(QString::fromLocal8Bit(argv[1]), "PNG")) {
            std::fprintf(stderr, "zorvane_screenshot: cannot write %s\n", argv[1]);
            result = 1;
        }
    }
    std::filesystem::remove_all(folder);
    return result;
}

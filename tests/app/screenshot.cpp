#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <cstdio>

#include "app/f_main.h"
#include "app/result_list_model.h"
#include "app/zorvane_application.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: zorvane_screenshot <program folder> <file.png>\n");
        return 2;
    }
    app::ZorvaneApplication application(argc, argv);
    std::string folder = argv[1];
    if (folder.empty() || folder.back() != '/') {
        folder += '/';
    }
    app::TfrmMain frmMain(folder);
    frmMain.show();
    // A few rows as a search leaves them, so the picture shows the grid in use.
    const char* rows[][2] = {
        {"Zorvane - search result harvester", "http://www.example.com/"},
        {"Example Domain", "http://example.org/"},
        {"Harvesting search results", "http://www.example.net/harvest"},
    };
    frmMain.edtKeyword->setText(QStringLiteral("example"));
    int pos = 0;
    for (const auto& row : rows) {
        frmMain.results().appendRow({std::to_string(++pos), row[0], row[1], frmMain.SiteText()});
    }
    frmMain.SecondStatusPanel->setText(QString::number(pos) + QStringLiteral(" items"));
    QApplication::processEvents();
    if (!frmMain.grab().save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "zorvane_screenshot: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}

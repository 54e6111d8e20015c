#include "app/f_main.h"
#include "app/zorvane_application.h"

int main(int argc, char** argv) {
    app::ZorvaneApplication application(argc, argv);
    // The window lives until the event loop returns, so handlers still
    // running in a nested loop after closing never touch a destroyed window.
    app::TfrmMain frmMain;
    application.setReportDialog(&frmMain.msgMain());
    frmMain.show();
    const int result = application.exec();
    application.setReportDialog(nullptr);
    return result;
}

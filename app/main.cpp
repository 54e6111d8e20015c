#include "app/f_main.h"
#include "app/zorvane_application.h"

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    app::ZorvaneApplication application(argc, argv);
    // Failures while the window is being built come before any event
    // dispatch could report them.
    try {
        // The window lives until the event loop returns, so handlers still
        // running in a nested loop after closing never touch a destroyed window.
        app::TfrmMain frmMain;
        application.setReportDialog(&frmMain.msgMain());
        frmMain.show();
        const int result = application.exec();
        application.setReportDialog(nullptr);
        return result;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zorvane: %s\n", e.what());
        return 1;
    }
}

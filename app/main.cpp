#include "app/f_main.h"
#include "app/program_options.h"
#include "app/zorvane_application.h"

#include <cstdio>
#include <exception>
#include <optional>

int main(int argc, char** argv) {
    if (const std::optional<int> code = app::AnswerInformationOptions(argc, argv)) {
        return *code;
    }
    app::ZorvaneApplication application(argc, argv);
    if (const std::optional<int> code = app::RejectOtherArguments(argc, argv)) {
        return *code;
    }
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

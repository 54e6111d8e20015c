#include "app/program_options.h"

#include <memory>

#include "tools/cli/command_line.h"

namespace app {
namespace {

constexpr const char* kDescription =
    "Zorvane harvests the result links of search engines for a keyword into a list\n"
    "that can be exported as comma-delimited text.";

constexpr const char* kFooter =
    "Qt's own options are taken as well, for example -platform NAME, -style NAME,\n"
    "-stylesheet FILE and -reverse.\n"
    "zorvane-harvest runs the same searches from the command line.";

std::unique_ptr<CLI::App> MakeCommandLine() {
    auto app = std::make_unique<CLI::App>(kDescription, "zorvane");
    app->footer(kFooter);
    cli::AddVersionFlag(*app);
    return app;
}

}  // namespace

std::optional<int> AnswerInformationOptions(int argc, char** argv) {
    const std::unique_ptr<CLI::App> app = MakeCommandLine();
    // Qt's options are still in argv here: they are looked at once the
    // application object has taken them out.
    app->allow_extras();
    return cli::Parse(*app, argc, argv);
}

std::optional<int> RejectOtherArguments(int argc, char** argv) {
    const std::unique_ptr<CLI::App> app = MakeCommandLine();
    return cli::Parse(*app, argc, argv);
}

}  // namespace app

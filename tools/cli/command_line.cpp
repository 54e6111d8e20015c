#include "tools/cli/command_line.h"

#include <iostream>
#include <string>

#include "util/program_version.h"

namespace cli {

void AddVersionFlag(CLI::App& app) {
    app.set_version_flag("--version", app.get_name() + " " + std::string(util::ProgramVersion));
}

int UsageError(const CLI::App& app, const std::string& message) {
    std::cerr << app.get_name() << ": " << message << "\nRun with --help for usage.\n";
    return kExitUsage;
}

std::optional<int> Parse(CLI::App& app, int argc, const char* const* argv) {
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help();
        return 0;
    } catch (const CLI::CallForAllHelp&) {
        std::cout << app.help("", CLI::AppFormatMode::All);
        return 0;
    } catch (const CLI::CallForVersion&) {
        std::cout << app.version() << "\n";
        return 0;
    } catch (const CLI::ParseError& error) {
        return UsageError(app, error.what());
    }
    return std::nullopt;
}

}  // namespace cli

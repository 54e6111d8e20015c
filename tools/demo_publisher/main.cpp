// zorvane-demo-publisher: a brander's news service and live-update folder on
// 127.0.0.1, so the news hint, the news window and the update offer can be
// tried, tested and shown offline.

#include <sys/stat.h>

#include <cstdio>
#include <optional>
#include <string>

#include "tools/cli/command_line.h"
#include "tools/demo_engine/server_program.h"
#include "tools/demo_publisher/demo_news.h"

namespace {

constexpr const char* kDescription =
    "Serves a brander's news and live-update folder on http://127.0.0.1:N (--port 0\n"
    "picks a free port).";

constexpr const char* kFooter =
    "  .../getlastnews.php, .../getnewsdetails.php  the news of publisher id \"demo\"\n"
    "  .../mainappupdate.inf                         DIR/mainappupdate.inf, or version 3.0\n"
    "A news base URL such as http://127.0.0.1:N/fail/INVALIDNEWS/ answers that error;\n"
    "also CONNECTIONFAIL, INVALIDUSER, INVALIDPRODUCT, EMPTY and 500.";

// The request line as received, with bytes that could upset a terminal
// shown as \xNN.
void LogRequest(const demo::HttpRequest& request) {
    const std::string line = request.method + " " + request.target + " " + request.version;
    std::string shown;
    for (const char c : line) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F || c == '\\') {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", byte);
            shown += escape;
        } else {
            shown += c;
        }
    }
    std::fprintf(stderr, "%s\n", shown.c_str());
}

// Reads the command line; returns the exit code when the program ends here.
std::optional<int> ParseOptions(int argc, char** argv, std::uint16_t& port,
                                demo::PublisherOptions& options) {
    CLI::App app(kDescription, "zorvane-demo-publisher");
    app.footer(kFooter);
    cli::AddVersionFlag(app);
    app.add_option_function<std::string>(
           "--port",
           [&port](const std::string& text) {
               if (!demo::ParsePort(text.c_str(), port)) {
                   throw CLI::ValidationError("--port", "is a port number, 0 to 65535");
               }
           },
           "the port on 127.0.0.1; 0 picks a free one")
        ->type_name("N")
        ->required();
    app.add_option_function<std::string>(
           "--folder",
           [&options](const std::string& folder) {
               struct stat st {};
               if (folder.empty() || ::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
                   throw CLI::ValidationError("--folder", "not a folder: " + folder);
               }
               options.folder = folder;
           },
           "the folder whose mainappupdate.inf is served")
        ->type_name("DIR");
    return cli::Parse(app, argc, argv);
}

}  // namespace

int main(int argc, char** argv) {
    std::uint16_t port = 0;
    demo::PublisherOptions options;
    if (const std::optional<int> code = ParseOptions(argc, argv, port, options)) {
        return *code;
    }
    return demo::ServeUntilSignalled(
        "zorvane-demo-publisher",
        [&options](const demo::HttpRequest& request) {
            LogRequest(request);
            return demo::PublisherReply(request, options);
        },
        port);
}

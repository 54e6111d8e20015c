// zorvane-demo-publisher: a brander's news service and live-update folder on
// 127.0.0.1, so the news hint, the news window and the update offer can be
// tried, tested and shown offline.

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/demo_engine/server_program.h"
#include "tools/demo_publisher/demo_news.h"

namespace {

void Usage() {
    std::fputs(
        "usage: zorvane-demo-publisher --port N [--folder DIR]\n"
        "  Serves on http://127.0.0.1:N (N = 0 picks a free port):\n"
        "    .../getlastnews.php, .../getnewsdetails.php  the news of publisher id \"demo\"\n"
        "    .../mainappupdate.inf                         DIR/mainappupdate.inf, or version 3.0\n"
        "  A news base URL such as http://127.0.0.1:N/fail/INVALIDNEWS/ answers that error;\n"
        "  also CONNECTIONFAIL, INVALIDUSER, INVALIDPRODUCT, EMPTY and 500.\n",
        stderr);
}

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

}  // namespace

int main(int argc, char** argv) {
    std::uint16_t port = 0;
    bool portGiven = false;
    demo::PublisherOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--port" && i + 1 < argc) {
            if (!demo::ParsePort(argv[++i], port)) {
                Usage();
                return 2;
            }
            portGiven = true;
        } else if (arg == "--folder" && i + 1 < argc) {
            options.folder = argv[++i];
            struct stat st {};
            if (options.folder.empty() || ::stat(options.folder.c_str(), &st) != 0 ||
                !S_ISDIR(st.st_mode)) {
                std::fprintf(stderr, "zorvane-demo-publisher: not a folder: %s\n",
                             options.folder.c_str());
                return 2;
            }
        } else {
            Usage();
            return 2;
        }
    }
    if (!portGiven) {
        Usage();
        return 2;
    }
    return demo::ServeUntilSignalled(
        "zorvane-demo-publisher",
        [&options](const demo::HttpRequest& request) {
            LogRequest(request);
            return demo::PublisherReply(request, options);
        },
        port);
}

#include "tools/demo_engine/server_program.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace demo {

namespace {

std::atomic<bool> g_stop{false};

void OnSignal(int) {
    g_stop = true;
}

// The demo CA's certificate in a folder of its own under $TMPDIR (else
// /tmp), removed with the folder when the server stops.
class CaFile {
public:
    CaFile(const char* name, const std::string& pem) {
        const char* tmp = std::getenv("TMPDIR");
        std::string folder =
            std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/" + name + "-XXXXXX";
        if (::mkdtemp(folder.data()) == nullptr) {
            throw std::runtime_error("cannot make a folder for the CA file: " +
                                     std::string(std::strerror(errno)));
        }
        folder_ = folder;
        path_ = folder + "/ca.pem";
        std::ofstream out(path_, std::ios::binary);
        out << pem;
        if (!out.flush()) {
            throw std::runtime_error("cannot write " + path_);
        }
    }
    ~CaFile() {
        ::unlink(path_.c_str());
        ::rmdir(folder_.c_str());
    }
    CaFile(const CaFile&) = delete;
    CaFile& operator=(const CaFile&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string folder_;
    std::string path_;
};

}  // namespace

bool ParsePort(const char* text, std::uint16_t& port) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < 0 || value > 65535) {
        return false;
    }
    port = static_cast<std::uint16_t>(value);
    return true;
}

int ServeUntilSignalled(const char* name, Handler handler, std::uint16_t port, bool tls) {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::optional<CaFile> caFile;
    try {
        std::unique_ptr<TlsServerContext> context;
        if (tls) {
            const TlsCertificate authority = TlsCertificate::Authority(std::string(name) + " CA");
            context = std::make_unique<TlsServerContext>(
                TlsCertificate::Server(&authority, {"127.0.0.1", "localhost", "::1"}));
            caFile.emplace(name, authority.pem());
        }
        LoopbackServer server(std::move(handler), port, context.get());
        std::printf("%s listening on %s\n", name, server.baseUrl().c_str());
        if (caFile) {
            std::printf("ZORVANE_CA_FILE=%s\n", caFile->path().c_str());
        }
        std::fflush(stdout);
        server.Serve(g_stop);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", name, e.what());
        return 1;
    }
    return 0;
}

}  // namespace demo

// Downloads a 256 MiB body from a loopback server of its own into a file, once
// with Content-Length and once chunked, over http and over https, alternating
// our client with `curl -s -o FILE` against the same server. Prints the
// wall-time ratios (ours / curl) and the peak resident memory of this process.
// The https server offers one TLS 1.3 suite, so both clients use the same.
//
//   http_download_bench [runs] [MiB]      defaults: 3 runs, 256 MiB
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/support/bench_process.h"
#include "net/http_client.h"
#include "tools/demo_engine/loopback_tls.h"

namespace {

constexpr std::size_t kMiB = 1024 * 1024;
// The server sends from one block of this size; chunked bodies use it as the chunk size.
constexpr std::size_t kBlock = 64 * 1024;
// The one suite the https server offers: AES-GCM, which both clients run
// with the processor's AES instructions.
constexpr const char* kCipherSuite = "TLS_AES_128_GCM_SHA256";

class BodyServer {
public:
    // tls, when given, must outlive the server.
    BodyServer(std::uint64_t bodySize, const demo::TlsServerContext* tls)
        : bodySize_(bodySize), block_(kBlock), tls_(tls) {
        for (std::size_t i = 0; i < block_.size(); ++i) {
            block_[i] = static_cast<char>('a' + i % 26);
        }
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int yes = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(fd_, 16) != 0) {
            throw std::runtime_error("cannot listen");
        }
        socklen_t len = sizeof addr;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { serve(); });
    }

    ~BodyServer() {
        stop_ = true;
        ::shutdown(fd_, SHUT_RDWR);
        thread_.join();
        ::close(fd_);
    }

    std::string url(const char* path) const {
        return (tls_ != nullptr ? "https://127.0.0.1:" : "http://127.0.0.1:") +
               std::to_string(port_) + path;
    }

private:
    // One connection at a time: read the request head, answer, close.
    void serve() {
        while (!stop_) {
            const int c = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (c < 0) {
                continue;
            }
            std::unique_ptr<demo::TlsServerSession> session;
            if (tls_ != nullptr) {
                session = std::make_unique<demo::TlsServerSession>(*tls_, c);
                if (!session->handshake([this] { return !stop_.load(); }, 100)) {
                    ::close(c);
                    continue;
                }
            }
            session_ = session.get();
            std::string request;
            char buffer[4096];
            while (request.find("\r\n\r\n") == std::string::npos) {
                const long n = session_ != nullptr ? session_->read(buffer, sizeof buffer, 1000)
                                                   : ::recv(c, buffer, sizeof buffer, 0);
                if (n <= 0) {
                    break;
                }
                request.append(buffer, static_cast<std::size_t>(n));
            }
            if (request.compare(0, 13, "GET /chunked ") == 0) {
                sendChunked(c);
            } else {
                sendLength(c);
            }
            if (session_ != nullptr) {
                session_->closeNotify();
            }
            ::shutdown(c, SHUT_WR);
            while (::recv(c, buffer, sizeof buffer, 0) > 0) {
            }
            session_ = nullptr;
            ::close(c);
        }
    }

    bool sendAll(int c, const char* data, std::size_t len) {
        if (session_ != nullptr) {
            return session_->write(data, len);
        }
        while (len > 0) {
            const ssize_t n = ::send(c, data, len, MSG_NOSIGNAL);
            if (n <= 0) {
                return false;
            }
            data += n;
            len -= static_cast<std::size_t>(n);
        }
        return true;
    }
    void sendLength(int c) {
        const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(bodySize_) +
                                 "\r\nConnection: close\r\n\r\n";
        if (!sendAll(c, head.data(), head.size())) {
            return;
        }
        for (std::uint64_t left = bodySize_; left > 0;) {
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(left, block_.size()));
            if (!sendAll(c, block_.data(), n)) {
                return;
            }
            left -= n;
        }
    }

    void sendChunked(int c) {
        const std::string head =
            "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n";
        if (!sendAll(c, head.data(), head.size())) {
            return;
        }
        for (std::uint64_t left = bodySize_; left > 0;) {
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(left, block_.size()));
            char size[32];
            const int len = std::snprintf(size, sizeof size, "%zx\r\n", n);
            if (!sendAll(c, size, static_cast<std::size_t>(len)) || !sendAll(c, block_.data(), n) ||
                !sendAll(c, "\r\n", 2)) {
                return;
            }
            left -= n;
        }
        sendAll(c, "0\r\n\r\n", 5);
    }

    std::uint64_t bodySize_;
    std::vector<char> block_;
    const demo::TlsServerContext* tls_;
    demo::TlsServerSession* session_ = nullptr;  // of the connection being served, over TLS
    int fd_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

std::uint64_t fileSize(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

double runOurs(const std::string& url, const std::string& path) {
    const double start = bench::Now();
    {
        net::FileStream file(path);
        net::HttpClient client;
        client.GetToStream(url, file);
        client.Disconnect();
    }
    return bench::Now() - start;
}

// The peak resident memory of the largest curl run, for comparison with ours.
long curlPeakKiB = 0;

double runCurl(const std::string& url, const std::string& path, const std::string& caFile) {
    std::vector<std::string> argv = {"curl", "-s", "-o", path};
    if (!caFile.empty()) {
        argv.insert(argv.end(), {"--cacert", caFile});
    }
    argv.push_back(url);
    const bench::ChildRun run = bench::Run(argv);
    if (run.status != 0) {
        throw std::runtime_error("curl failed");
    }
    curlPeakKiB = std::max(curlPeakKiB, run.peakKiB);
    return run.wallSeconds;
}

long statusKiB(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, std::strlen(field), field) == 0) {
            return std::atol(line.c_str() + std::strlen(field) + 1);
        }
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const std::uint64_t mib = argc > 2 ? std::max(1, std::atoi(argv[2])) : 256;
    const std::uint64_t bodySize = mib * kMiB;
    const char* tmp = std::getenv("TMPDIR");
    const std::string dir = tmp && *tmp ? tmp : "/tmp";
    const std::string oursPath = dir + "/zorvane-bench-ours.bin";
    const std::string curlPath = dir + "/zorvane-bench-curl.bin";
    const std::string caPath = dir + "/zorvane-bench-ca.pem";

    try {
        // Our client reads ZORVANE_CA_FILE with its first https connection;
        // curl gets the same file.
        const demo::TlsCertificate authority = demo::TlsCertificate::Authority("bench CA");
        std::ofstream(caPath, std::ios::binary) << authority.pem();
        ::setenv("ZORVANE_CA_FILE", caPath.c_str(), 1);
        const demo::TlsServerContext tls(
            demo::TlsCertificate::Server(&authority, {"127.0.0.1"}),
            {.maxVersion = TLS1_3_VERSION, .cipherSuites = kCipherSuite});

        std::printf(
            "Download of %llu MiB into a file, %d alternating runs each; https: TLS 1.3 %s\n",
            static_cast<unsigned long long>(mib), runs, kCipherSuite);
        for (const demo::TlsServerContext* context :
             {static_cast<const demo::TlsServerContext*>(nullptr), &tls}) {
            BodyServer server(bodySize, context);
            const std::string caFile = context != nullptr ? caPath : std::string();
            for (const char* path : {"/length", "/chunked"}) {
                const std::string url = server.url(path);
                std::vector<double> ours;
                std::vector<double> curl;
                for (int i = 0; i < runs; ++i) {
                    ours.push_back(runOurs(url, oursPath));
                    if (fileSize(oursPath) != bodySize) {
                        throw std::runtime_error("our download is incomplete");
                    }
                    curl.push_back(runCurl(url, curlPath, caFile));
                    if (fileSize(curlPath) != bodySize) {
                        throw std::runtime_error("curl's download is incomplete");
                    }
                }
                const double oursMedian = bench::Median(ours);
                const double curlMedian = bench::Median(curl);
                std::printf(
                    "%-5s %-9s ours %.3f s (%.0f MiB/s), curl %.3f s (%.0f MiB/s), ratio %.2f\n",
                    context != nullptr ? "https" : "http", path + 1, oursMedian, mib / oursMedian,
                    curlMedian, mib / curlMedian, oursMedian / curlMedian);
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "benchmark failed: %s\n", e.what());
        ::unlink(oursPath.c_str());
        ::unlink(curlPath.c_str());
        ::unlink(caPath.c_str());
        return 1;
    }
    ::unlink(oursPath.c_str());
    ::unlink(curlPath.c_str());
    ::unlink(caPath.c_str());

    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf(
        "peak resident memory of this process (client and server): %.1f MiB (VmHWM %.1f MiB; "
        "limit 32 MiB); of curl: %.1f MiB\n",
        usage.ru_maxrss / 1024.0, statusKiB("VmHWM:") / 1024.0, curlPeakKiB / 1024.0);
    return 0;
}

#include "tools/demo_engine/loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace demo {
namespace {

// A request head longer than this is no request of ours; real clients send
// well under 2 KB.
constexpr std::size_t kMaxRequestHead = 16 * 1024;
// A silent keep-alive connection is closed after this, so that a client that
// went quiet cannot hold the one-at-a-time server for long.
constexpr int kIdleMillis = 2000;
// A stalled reply waits this long at most for its client to give up.
constexpr int kStallMaxMillis = 10000;
// Blocking sends give up after this, should a client stop reading.
constexpr int kSendTimeoutSeconds = 5;
constexpr int kPollSliceMillis = 100;

// Waits until fd is readable; false on stop or after limitMillis.
bool WaitReadable(int fd, const std::atomic<bool>& stop, int limitMillis) {
    for (int waited = 0; waited < limitMillis; waited += kPollSliceMillis) {
        if (stop) {
            return false;
        }
        pollfd p{fd, POLLIN, 0};
        const int r = ::poll(&p, 1, kPollSliceMillis);
        if (r > 0) {
            return true;
        }
        if (r < 0 && errno != EINTR) {
            return false;
        }
    }
    return false;
}

// The bytes of one connection, in the clear or through TLS.
class Channel {
public:
    Channel(int fd, TlsServerSession* tls) : fd_(fd), tls_(tls) {}

    // What arrives within limitMillis: the count, 0 at the client's end, -1
    // on stop, time out or failure.
    long Receive(char* data, std::size_t len, const std::atomic<bool>& stop, int limitMillis) {
        if (tls_ == nullptr) {
            if (!WaitReadable(fd_, stop, limitMillis)) {
                return -1;
            }
            const ssize_t n = ::recv(fd_, data, len, 0);
            return n < 0 ? 0 : static_cast<long>(n);
        }
        for (int waited = 0; waited < limitMillis && !stop; waited += kPollSliceMillis) {
            const long n = tls_->read(data, len, kPollSliceMillis);
            if (n >= 0) {
                return n;
            }
        }
        return -1;
    }

    bool Send(const char* data, std::size_t len) {
        return tls_ != nullptr ? tls_->write(data, len) : SendAll(fd_, data, len);
    }

private:
    int fd_;
    TlsServerSession* tls_;
};

bool EqualsNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

std::string Trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos) {
        return {};
    }
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

bool ParseHead(const std::string& head, HttpRequest& req) {
    std::size_t lineEnd = head.find("\r\n");
    const std::string line = head.substr(0, lineEnd);
    const auto s1 = line.find(' ');
    const auto s2 = line.rfind(' ');
    if (s1 == std::string::npos || s2 == s1) {
        return false;
    }
    req.method = line.substr(0, s1);
    req.target = line.substr(s1 + 1, s2 - s1 - 1);
    req.version = line.substr(s2 + 1);
    while (lineEnd != std::string::npos && lineEnd + 2 < head.size()) {
        const std::size_t start = lineEnd + 2;
        lineEnd = head.find("\r\n", start);
        const std::string h = head.substr(start, lineEnd - start);
        const auto colon = h.find(':');
        if (colon != std::string::npos) {
            req.headers.emplace_back(h.substr(0, colon), Trim(h.substr(colon + 1)));
        }
    }
    return true;
}

}  // namespace

std::string HttpRequest::header(const std::string& name) const {
    for (const auto& [key, value] : headers) {
        if (EqualsNoCase(key, name)) {
            return value;
        }
    }
    return {};
}

LoopbackServer::LoopbackServer(Handler handler, std::uint16_t port, const TlsServerContext* tls)
    : handler_(std::move(handler)), tls_(tls) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) {
        throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
    }
    const int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    socklen_t len = sizeof addr;
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listenFd_, 16) != 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        const std::string err = std::strerror(errno);
        ::close(listenFd_);
        throw std::runtime_error("Cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + err);
    }
    port_ = ntohs(addr.sin_port);
}

LoopbackServer::~LoopbackServer() {
    Stop();
    ::close(listenFd_);
}

void LoopbackServer::Start() {
    stopThread_ = false;
    thread_ = std::thread([this] { Serve(stopThread_); });
}

void LoopbackServer::Stop() {
    stopThread_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
}

std::vector<HttpRequest> LoopbackServer::requests() const {
    std::lock_guard<std::mutex> guard(requestsLock_);
    return requests_;
}

void LoopbackServer::Serve(const std::atomic<bool>& stop) {
    while (!stop) {
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, kPollSliceMillis) <= 0) {
            continue;
        }
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        const timeval sendTimeout{kSendTimeoutSeconds, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout);
        // Each reply goes out in one send; the tail of one must not wait for
        // the client's acknowledgement of the one before (keep-alive clients).
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        ServeConnection(fd, stop);
        ::close(fd);
    }
}

void LoopbackServer::ServeConnection(int fd, const std::atomic<bool>& stop) {
    std::unique_ptr<TlsServerSession> session;
    if (tls_ != nullptr) {
        session = std::make_unique<TlsServerSession>(*tls_, fd);
        // A client that never finishes its handshake holds the server no
        // longer than a silent keep-alive connection.
        int waited = 0;
        const auto keepGoing = [&] {
            waited += kPollSliceMillis;
            return !stop && waited < kIdleMillis;
        };
        if (!session->handshake(keepGoing, kPollSliceMillis)) {
            return;
        }
    }
    Channel channel(fd, session.get());
    std::string buffer;
    char chunk[8192];
    for (;;) {
        std::size_t headEnd;
        while ((headEnd = buffer.find("\r\n\r\n")) == std::string::npos) {
            if (buffer.size() > kMaxRequestHead) {
                return;
            }
            const long n = channel.Receive(chunk, sizeof chunk, stop, kIdleMillis);
            if (n <= 0) {
                return;
            }
            buffer.append(chunk, static_cast<std::size_t>(n));
        }
        HttpRequest req;
        if (!ParseHead(buffer.substr(0, headEnd), req)) {
            return;
        }
        buffer.erase(0, headEnd + 4);
        // Only a Content-Length body is read; a request body in any other
        // form (chunked) cannot be told from the next request and ends the
        // connection after its reply.
        const std::string lengthText = req.header("Content-Length");
        const bool bodyKnown = req.header("Transfer-Encoding").empty();
        if (!lengthText.empty()) {
            std::size_t length = 0;
            const auto [end, error] =
                std::from_chars(lengthText.data(), lengthText.data() + lengthText.size(), length);
            if (error != std::errc() || end != lengthText.data() + lengthText.size() ||
                length > kMaxRequestBody) {
                return;
            }
            while (buffer.size() < length) {
                const long n = channel.Receive(chunk, sizeof chunk, stop, kIdleMillis);
                if (n <= 0) {
                    return;
                }
                buffer.append(chunk, static_cast<std::size_t>(n));
            }
            req.body = buffer.substr(0, length);
            buffer.erase(0, length);
        }
        {
            std::lock_guard<std::mutex> guard(requestsLock_);
            requests_.push_back(req);
        }
        HttpReply reply;
        try {
            reply = handler_(req);
        } catch (const std::exception& e) {
            reply = HttpReply{500, "Internal Server Error", "text/plain", e.what()};
        }
        const std::string connection = req.header("Connection");
        const bool keepAlive =
            bodyKnown && (req.version == "HTTP/1.1" ? !EqualsNoCase(connection, "close")
                                                    : EqualsNoCase(connection, "keep-alive"));
        std::string head = "HTTP/1.1 " + std::to_string(reply.status) + " " + reply.reason +
                           "\r\nContent-Type: " + reply.contentType +
                           "\r\nContent-Length: " + std::to_string(reply.body.size()) +
                           "\r\nConnection: " + (keepAlive ? "keep-alive" : "close") + "\r\n\r\n";
        const bool stall = reply.stallAfter < reply.body.size();
        const std::size_t bodyBytes = stall ? reply.stallAfter : reply.body.size();
        head.append(reply.body, 0, bodyBytes);
        if (!channel.Send(head.data(), head.size())) {
            return;
        }
        if (stall) {
            // Hold the rest back until the client gives up and closes.
            const auto until =
                std::chrono::steady_clock::now() + std::chrono::milliseconds(kStallMaxMillis);
            while (!stop && std::chrono::steady_clock::now() < until) {
                if (channel.Receive(chunk, sizeof chunk, stop, kPollSliceMillis) == 0) {
                    return;
                }
            }
            return;
        }
        if (!keepAlive) {
            return;
        }
    }
}

bool SendAll(int fd, const char* data, std::size_t len) {
    while (len > 0) {
        const ssize_t n = ::send(fd, data, len, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        len -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace demo

#include "tests/support/scripted_server.h"
#include "tools/demo_engine/loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <memory>
#include <stdexcept>

namespace testsupport {

namespace {

// Stop checks while blocked: short enough that a test never waits on them.
constexpr int kPollMs = 10;

std::size_t contentLengthOf(const std::string& head) {
    std::string lower = head;
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    const auto at = lower.find("\r\ncontent-length:");
    if (at == std::string::npos) {
        return 0;
    }
    return std::stoul(lower.substr(at + 17));
}

}  // namespace

// A connection's bytes, in the clear or through TLS.
class ScriptedServer::Link {
public:
    Link(int fd, demo::TlsServerSession* tls) : fd_(fd), tls_(tls) {}

    bool send(const std::string& bytes) {
        return tls_ != nullptr ? tls_->write(bytes.data(), bytes.size())
                               : demo::SendAll(fd_, bytes.data(), bytes.size());
    }

    // The count read; 0 when the peer closed; -1 when nothing came within timeoutMs.
    long receive(char* data, std::size_t len, int timeoutMs) {
        if (tls_ != nullptr) {
            return tls_->read(data, len, timeoutMs);
        }
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) {
            return -1;
        }
        const ssize_t n = ::recv(fd_, data, len, 0);
        return n < 0 ? 0 : static_cast<long>(n);
    }

    void closeNotify() {
        if (tls_ != nullptr) {
            tls_->closeNotify();
        }
    }

    bool sendHalfOf(const std::string& bytes) {
        const std::string wire = tls_ != nullptr ? tls_->seal(bytes) : bytes;
        return demo::SendAll(fd_, wire.data(), wire.size() / 2);
    }

private:
    int fd_;
    demo::TlsServerSession* tls_;
};

Script Reply(std::string response) {
    return {Step::AwaitRequest(), Step::Send(std::move(response)), Step::Close()};
}

Script ReplyKeepOpen(std::string response) {
    return {Step::AwaitRequest(), Step::Send(std::move(response))};
}

std::string HttpResponse(const std::string& status, const std::string& body,
                         const std::string& extraHeaders) {
    return status + "\r\n" + extraHeaders + "Content-Length: " + std::to_string(body.size()) +
           "\r\n\r\n" + body;
}

std::string ChunkedResponse(const std::string& status, const std::vector<std::string>& chunks,
                            const std::string& extraHeaders) {
    std::string out = status + "\r\n" + extraHeaders + "Transfer-Encoding: chunked\r\n\r\n";
    for (const auto& chunk : chunks) {
        char size[32];
        std::snprintf(size, sizeof size, "%zx\r\n", chunk.size());
        out += size + chunk + "\r\n";
    }
    return out + "0\r\n\r\n";
}

std::uint16_t UnusedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

StalledListener::StalledListener() {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    // A backlog of 0 holds one pending connection; the filler takes that place.
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listenFd_, 0) != 0) {
        ::close(listenFd_);
        throw std::runtime_error("StalledListener cannot listen");
    }
    socklen_t len = sizeof addr;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    fillerFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    ::connect(fillerFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    pollfd p{fillerFd_, POLLOUT, 0};
    ::poll(&p, 1, 1000);
}

StalledListener::~StalledListener() {
    ::close(fillerFd_);
    ::close(listenFd_);
}

std::string StalledListener::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

ScriptedServer::ScriptedServer(std::vector<Script> scripts, const demo::TlsServerContext* tls)
    : scripts_(std::move(scripts)), tls_(tls) {
    if (scripts_.empty()) {
        throw std::invalid_argument("ScriptedServer needs at least one script");
    }
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int yes = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listenFd_, 64) != 0) {
        ::close(listenFd_);
        throw std::runtime_error("ScriptedServer cannot listen");
    }
    socklen_t len = sizeof addr;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    acceptThread_ = std::thread([this] { acceptLoop(); });
}

ScriptedServer::~ScriptedServer() {
    stop_ = true;
    wake_.notify_all();
    acceptThread_.join();
    for (auto& thread : threads_) {
        thread.join();
    }
    ::close(listenFd_);
}

std::string ScriptedServer::url(const std::string& path) const {
    return (tls_ != nullptr ? "https://" : "http://") + hostHeader() + path;
}

std::string ScriptedServer::hostHeader() const {
    return "127.0.0.1:" + std::to_string(port_);
}

std::size_t ScriptedServer::connectionCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_.size();
}

std::string ScriptedServer::received(std::size_t index) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return index < received_.size() ? received_[index] : std::string();
}

std::string ScriptedServer::allReceived() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string all;
    for (const auto& bytes : received_) {
        all += bytes;
    }
    return all;
}

void ScriptedServer::acceptLoop() {
    while (!stop_) {
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, kPollMs) <= 0) {
            continue;
        }
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        std::size_t index;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            index = received_.size();
            received_.emplace_back();
        }
        threads_.emplace_back([this, fd, index] {
            play(fd, index);
            ::close(fd);
        });
    }
}

bool ScriptedServer::sleepFor(int ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    return !wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stop_.load(); });
}

// Reads what is there (waiting up to timeoutMs); false when the peer closed or
// the server stops.
bool ScriptedServer::readSome(Link& link, std::size_t index, int timeoutMs) {
    char buffer[65536];
    const long n = link.receive(buffer, sizeof buffer, timeoutMs);
    if (n < 0) {
        return !stop_;
    }
    if (n == 0) {
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    received_[index].append(buffer, static_cast<std::size_t>(n));
    return !stop_;
}

bool ScriptedServer::awaitRequest(Link& link, std::size_t index) {
    // The request starts where the previous one ended.
    std::size_t start;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        start = requestEnd_.size() > index ? requestEnd_[index] : 0;
    }
    for (;;) {
        std::string bytes = received(index).substr(start);
        const auto headEnd = bytes.find("\r\n\r\n");
        if (headEnd != std::string::npos) {
            const std::size_t total = headEnd + 4 + contentLengthOf(bytes.substr(0, headEnd + 2));
            if (bytes.size() >= total) {
                std::lock_guard<std::mutex> lock(mutex_);
                if (requestEnd_.size() <= index) {
                    requestEnd_.resize(index + 1, 0);
                }
                requestEnd_[index] = start + total;
                return true;
            }
        }
        if (!readSome(link, index, kPollMs)) {
            return false;
        }
    }
}

void ScriptedServer::play(int fd, std::size_t index) {
    std::unique_ptr<demo::TlsServerSession> session;
    if (tls_ != nullptr) {
        session = std::make_unique<demo::TlsServerSession>(*tls_, fd);
        if (!session->handshake([this] { return !stop_.load(); }, kPollMs)) {
            return;
        }
    }
    Link link(fd, session.get());
    const Script& script = scripts_[std::min(index, scripts_.size() - 1)];
    for (const Step& step : script) {
        if (stop_) {
            return;
        }
        switch (step.kind) {
            case Step::Kind::AwaitRequest:
                if (!awaitRequest(link, index)) {
                    return;
                }
                break;
            case Step::Kind::Send:
                if (!link.send(step.bytes)) {
                    return;
                }
                break;
            case Step::Kind::SendHalfRecord:
                if (!link.sendHalfOf(step.bytes)) {
                    return;
                }
                break;
            case Step::Kind::Delay:
                if (!sleepFor(step.ms)) {
                    return;
                }
                break;
            case Step::Kind::Close:
                link.closeNotify();
                return;
            case Step::Kind::CloseWithoutNotify:
                return;
        }
    }
    while (readSome(link, index, kPollMs)) {
    }
}

}  // namespace testsupport
